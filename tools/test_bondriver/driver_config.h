// The test driver's configuration: a text file of key=value lines, named by
// the environment variable KESTRUN_TEST_DRIVER_CONFIG or else lying beside the
// driver library as "<library path>.conf".
//
//   file=PATH         stream served by FetchStream, one block per call
//   block=BYTES       block size (default 3008 = 16 packets)
//   pace_us=N         pause inside every FetchStream call (default 1000)
//   rate=BYTES        deliver at this many bytes per second instead, on a
//                     schedule from Open: a fetch that comes late hands out
//                     at once, as a driver with its own queue would
//   burst=N           blocks come N at a time: only every Nth fetch pauses
//                     (N times as long), the others hand out at once
//   loop=0|1          start the file over at its end instead of running dry
//   passes=N          serve the file N times over, then run dry
//   mode=normal|nullfactory|openfail|noext|stall
//   stall_calls=N     the first N FetchStream calls after Open hand out nothing
//   stall_ms=T        so do all calls in the first T ms after Open
//   idle=0|1|2        how "nothing" looks: 0 result 0, 1 result 1 with no
//                     block, 2 result 1 with a block of length 0
//   calllog=PATH      one line appended per call received
//   drained=PATH      file created when a fetch first finds the served file
//                     at its end, so a benchmark knows the stream is out
//   gate=0|1          hand out data only as far as TestDriverAllow permits,
//                     so a test can hold the driver to its consumer's pace
//   resend=0|1        a FlushStream right after a block was handed out means
//                     the consumer had no room for it: the next FetchStream
//                     hands out that block again instead of the next one, so
//                     a run compares byte for byte with the file however the
//                     scheduler treats the consumer (each such flush is still
//                     logged, so a test can count the retried blocks)
//   signal=L[,L...]   the levels GetSignalLevel gives, one per call and over
//                     again from the first after the last: one value for a
//                     constant level, several for a changing one; "nan",
//                     "inf" or "fail" give a level that is not finite. Each
//                     call is logged. Without it the driver has no level
//                     (NaN) and does not log the call
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test_bondriver {

enum class DriverMode { Normal, NullFactory, OpenFail, NoExtension, Stall };

struct DriverConfig {
  std::string file;
  std::uint32_t block = 188 * 16;
  std::uint32_t paceUs = 1000;
  std::uint64_t rate = 0;
  std::uint32_t burst = 1;
  bool loop = false;
  std::uint64_t passes = 1;
  DriverMode mode = DriverMode::Normal;
  std::uint64_t stallCalls = 0;
  std::uint32_t stallMs = 0;
  int idle = 0;
  std::string callLog;
  std::string drained;
  bool gate = false;
  bool resend = false;
  std::vector<float> signal;
};

// Reads the configuration in force; defaults where no file or key is found.
DriverConfig LoadDriverConfig();

// Full path of the driver library itself (empty when it cannot be found).
std::string OwnModulePath();

}  // namespace test_bondriver
