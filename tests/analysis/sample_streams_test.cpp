// Recorded streams whose counts are known: captures that are clean but for
// the null PID's counters (the default rule counts those), a video PID that
// carries the PCR, and hand-edited counters. The recordings live outside the
// repository; without them these tests skip.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "analysis/analysis_run.h"

namespace kestrun::analysis_test {
namespace {

std::string SamplePath(const std::string& name) { return std::string(KESTRUN_SAMPLES_DIR) + "/tsduck-test/" + name; }

std::string ReadSample(const std::string& name) {
  std::ifstream in(SamplePath(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct SampleCase {
  const char* file;
  std::int32_t defaultTotal;  // the exit code without isocc
  std::uint64_t errors;       // the systems rule's count
  std::uint64_t lost;
  std::map<DropKind, int> kinds;  // of the default rule's drops
};

TEST(SampleStreams, BothRulesOnKnownCaptures) {
  const SampleCase cases[] = {
      {"input/test-101.ts", 77, 0, 0, {{DropKind::NullPid, 77}}},  // ISDB, Japan
      {"input/test-108.ts", 184, 0, 0, {{DropKind::NullPid, 184}, {DropKind::NoPayload, 14}}},
      {"reference/test-171/test-171.2.ts", 96, 0, 0, {{DropKind::NullPid, 96}}},  // ISDB-Tb
      {"input/test-100.1.ts", 2, 0, 0, {{DropKind::NullPid, 2}}},
      {"input/test-064.ts", 0, 0, 0, {}},  // the PCR on the H.264 video PID
      // PID 123: 7 8 2(discontinuity) 3 4 5 6 7 7 7 8 3 4 5 5 6;
      // PID 100: 5 6, then packets without payload 6 6 7.
      {"input/test-041.ts",
       7,
       2,
       10,
       {{DropKind::Discontinuity, 1}, {DropKind::Duplicate, 2}, {DropKind::Repeat, 1}, {DropKind::Gap, 1},
        {DropKind::NoPayload, 2}}},
  };
  for (const SampleCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string stream = ReadSample(c.file);
    if (stream.empty()) GTEST_SKIP() << "sample stream not found: " << SamplePath(c.file);
    const AnalysedJob job = AnalyseStream(stream);
    EXPECT_EQ(job.summaryTotal, c.defaultTotal);
    EXPECT_EQ(job.report.continuityErrorTotal, c.errors);
    EXPECT_EQ(job.report.lostPacketsEstimate, c.lost);
    std::map<DropKind, int> kinds;
    for (const DropEvent& drop : job.report.drops.items) ++kinds[drop.kind];
    EXPECT_EQ(kinds, c.kinds);
    EXPECT_EQ(AnalyseStream(stream, CountingRule::Iso).summaryTotal, static_cast<std::int32_t>(c.errors));
  }
}

}  // namespace
}  // namespace kestrun::analysis_test
