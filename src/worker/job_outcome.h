// What the worker found out about a job besides the analysis state: the
// source, how much was read, how the read ended and, when the job runner
// asks for them, the drops one by one. Read by the job runner after the
// worker has ended.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "support/system_time.h"
#include "ts/clock.h"
#include "tuner/signal_series.h"
#include "worker/source.h"

namespace kestrun {

enum class JobEnd {
  NotStarted,        // the worker did not run (no thread, or no context)
  NotOpened,         // the source could not be classified or opened
  EndOfInput,        // end of file, pipe closed, a failed read
  Window,            // the last duration window ended
  Stop,              // Ctrl+C or the console closed
  ReadBufferFailed,  // the read buffer could not be allocated
};

struct DropEvent {
  std::uint16_t pid = 0;
  std::uint64_t dropCount = 0;  // the PID's drops, this one included
  // Stream position of the packet's sync byte: the file offset for a file,
  // else the bytes read before it.
  std::uint64_t offset = 0;
  std::uint64_t ticks = 0;  // elapsed ticks of the reported clock
  ClockTime time;           // the play time the drop line shows
  bool hasTot = false;
  SystemTime tot;           // last broadcast time before the drop
  bool reported = false;    // a drop line was printed (a PCR PID was known)
};

struct JobOutcome {
  SourceKind kind = SourceKind::Invalid;
  std::int64_t startOffset = 0;    // as written after ';' (files)
  std::int64_t startPosition = 0;  // where reading began (files)
  std::int64_t fileSize = -1;      // files only; -1 otherwise
  // Packets delivered by the reader, by framing: [0] 188 bytes, [1] 192.
  std::array<std::uint64_t, 2> packetsBySize{};
  std::uint64_t bytesRead = 0;
  JobEnd end = JobEnd::NotStarted;
  std::vector<DropEvent> drops;  // only when the job runner asked for them
  // When the last drop was counted (seconds since 1970); 0 for none, and
  // kept only for a job that is reported on during the run.
  std::int64_t lastDropTime = 0;
  // Tuner only: bytes the tuner thread discarded, and the signal levels.
  std::uint64_t discardedBytes = 0;
  SignalSeries signal;
};

}  // namespace kestrun
