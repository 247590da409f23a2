// Runs recorded streams through the analysis. The recordings live outside
// the repository; without them these tests skip.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ts/ts_context.h"
#include "ts_test_packets.h"

namespace kestrun::ts_test {
namespace {

std::string SamplePath(const std::string& name) {
  return std::string(KESTRUN_SAMPLES_DIR) + "/tsduck-test/input/" + name;
}

// Reads a 188-byte-packet recording; empty when it is not there.
Bytes ReadSample(const std::string& name) {
  std::ifstream in(SamplePath(name), std::ios::binary | std::ios::ate);
  if (!in) return {};
  Bytes bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return in ? bytes : Bytes{};
}

#define LOAD_SAMPLE_OR_SKIP(var, name)                                         \
  const Bytes var = ReadSample(name);                                          \
  if (var.empty()) GTEST_SKIP() << "sample stream not found: " << SamplePath(name)

struct TimeTrace {
  int accepted = 0;
  SystemTime first;
  SystemTime last;
  std::int64_t lastSeconds = 0;
};

// Feeds every aligned packet; records the times accepted from PID 0x14.
TimeTrace RunStream(Analyzer& a, const Bytes& stream) {
  TimeTrace trace;
  for (std::size_t at = 0; at + kTsPacketSize <= stream.size(); at += kTsPacketSize) {
    const Analyzer::Step step = a.Feed(stream.data() + at);
    if (step.table != TableResult::TotAccepted) continue;
    if (trace.accepted++ == 0) trace.first = a.context->totLocalTime;
    trace.last = a.context->totLocalTime;
    trace.lastSeconds = a.context->totSeconds;
  }
  return trace;
}

std::string Show(const SystemTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

// Hand-edited counters: PID 123 runs 7 8 2 3 4 5 6 7 7 7 8 3 4 5 5 6 (five
// drops, the discontinuity_indicator on the 2 changes nothing); PID 100 runs
// 5 6 6 6 7 with the last three adaptation-only (two drops).
TEST(SampleStreamTest, HandEditedContinuityCounters) {
  LOAD_SAMPLE_OR_SKIP(stream, "test-041.ts");
  Analyzer a;
  RunStream(a, stream);
  ASSERT_EQ(PidOrder(*a.context), (std::vector<std::uint16_t>{123, 100}));
  const PidState* pid123 = FindPidState(*a.context, 123);
  EXPECT_EQ(pid123->totalCount, 16u);
  EXPECT_EQ(pid123->dropCount, 5u);
  EXPECT_EQ(pid123->lastCc, 6);
  const PidState* pid100 = FindPidState(*a.context, 100);
  EXPECT_EQ(pid100->totalCount, 5u);
  EXPECT_EQ(pid100->dropCount, 2u);
}

// TDT/TOT times, read as UTC:
//   stream          first               last                accepted
//   test-018        2018-02-13 12:35:05 2018-02-13 12:35:08 7
//   test-182.1      2030-04-30 23:59:00 2030-05-01 00:02:00 MJD 62621 -> 62622
//   test-182.2      2038-04-22 23:59:00 2038-04-23 00:02:00 MJD 65535 -> 0
//   test-182.3      2038-04-21 23:59:00 2038-04-22 00:02:00 MJD 65534 -> 65535
//   test-182.4      2038-01-19 03:13:08 2038-01-19 03:16:07 past 2^31 seconds
//   test-182.5      2038-03-31 23:59:00 2038-04-01 00:02:00
struct TimeCase {
  const char* file;
  const char* first;
  const char* last;
};

TEST(SampleStreamTest, BroadcastTimes) {
  const TimeCase cases[] = {
      {"test-018.ts", "2018-02-13 12:35:05", "2018-02-13 12:35:08"},
      {"test-182.1.ts", "2030-04-30 23:59:00", "2030-05-01 00:02:00"},
      {"test-182.2.ts", "2038-04-22 23:59:00", "2038-04-23 00:02:00"},
      {"test-182.3.ts", "2038-04-21 23:59:00", "2038-04-22 00:02:00"},
      {"test-182.4.ts", "2038-01-19 03:13:08", "2038-01-19 03:16:07"},
      {"test-182.5.ts", "2038-03-31 23:59:00", "2038-04-01 00:02:00"},
  };
  for (const TimeCase& c : cases) {
    LOAD_SAMPLE_OR_SKIP(stream, c.file);
    Analyzer a;
    const TimeTrace trace = RunStream(a, stream);
    ASSERT_GT(trace.accepted, 0) << c.file;
    EXPECT_EQ(Show(trace.first), c.first) << c.file;
    EXPECT_EQ(Show(trace.last), c.last) << c.file;
  }
}

TEST(SampleStreamTest, TimesAfter2038KeepCounting) {
  LOAD_SAMPLE_OR_SKIP(stream, "test-182.4.ts");
  Analyzer a;
  const TimeTrace trace = RunStream(a, stream);
  EXPECT_GT(trace.lastSeconds, 0x7FFFFFFFll);
}

TEST(SampleStreamTest, TdtCountInDvbStream) {
  LOAD_SAMPLE_OR_SKIP(stream, "test-018.ts");
  Analyzer a;
  EXPECT_EQ(RunStream(a, stream).accepted, 7);
}

// MJD 19153 lies inside the Annex C range and means 1911: shown, not
// accepted as a broadcast time.
TEST(SampleStreamTest, DateBefore1970IsNotAccepted) {
  LOAD_SAMPLE_OR_SKIP(stream, "test-182.6.ts");
  Analyzer a;
  EXPECT_EQ(RunStream(a, stream).accepted, 0);
  EXPECT_EQ(Show(a.context->totLocalTime), "1911-04-28 00:02:00");
}

// Damaged packets are skipped without losing any PID's record.
TEST(SampleStreamTest, TransportErrorsSkipped) {
  LOAD_SAMPLE_OR_SKIP(stream, "test-030.ts");
  Analyzer a;
  int skipped = 0;
  for (std::size_t at = 0; at + kTsPacketSize <= stream.size(); at += kTsPacketSize) {
    if (a.Feed(stream.data() + at).state == nullptr) ++skipped;
  }
  EXPECT_EQ(skipped, 9);
  std::uint64_t checked = 0;
  for (const auto& state : a.context->pidList) checked += state->totalCount;
  EXPECT_EQ(checked, stream.size() / kTsPacketSize - 9);
}

// The PMT's PCR PID carries only adaptation fields; once the PMT is read it
// is exempt, and the PCR clock runs over the 2.9 s of PCRs.
TEST(SampleStreamTest, PcrOnlyPidIsExemptAndDrivesClock) {
  LOAD_SAMPLE_OR_SKIP(stream, "test-025.ts");
  Analyzer a;
  RunStream(a, stream);
  EXPECT_TRUE(IsPcrPid(*a.context, 0x0100));
  const TimestampClock& clock = SelectClock(*a.context);
  EXPECT_EQ(&clock, &a.context->pcrClock);
  EXPECT_EQ(clock.time.hours, 0);
  EXPECT_EQ(clock.time.minutes, 0);
  EXPECT_EQ(clock.time.seconds, 2);
}

// Streams with corrupted packets, many PIDs and long sections: every packet
// is handled without a read outside it.
TEST(SampleStreamTest, EveryStreamRunsThrough) {
  const char* files[] = {"test-021.ts", "test-049.ts", "test-052.ts", "test-101.ts",
                         "test-103.ts", "test-108.ts", "test-120.ts", "test-142.ts",
                         "test-143.ts", "test-144.ts", "test-184.ts"};
  for (const char* file : files) {
    LOAD_SAMPLE_OR_SKIP(stream, file);
    Analyzer a;
    RunStream(a, stream);
    EXPECT_FALSE(a.context->pidList.empty()) << file;
  }
}

}  // namespace
}  // namespace kestrun::ts_test
