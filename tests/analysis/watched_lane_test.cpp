// The job's analysis as the worker runs it, plain packets through the
// watched lane (AnalysePlainPacket<true>), against every packet through the
// full steps and the analysis's full steps: the same report in every member
// and the same whole state (the context, every PID record, the analysis),
// over faulty generated streams.
#include <gtest/gtest.h>

#include "analysis/analysis_run.h"
#include "analysis/same_analysis.h"
#include "analysis/broadcast_stream.h"
#include "report/job_report_collect.h"
#include "report/run_report_json.h"
#include "support/temp_dir.h"
#include "ts/dispatch.h"
#include "ts/same_state.h"
#include "tsgen/tsgen.h"
#include "worker/file_byte_source.h"
#include "worker/read_buffer.h"

namespace kestrun::analysis_test {
namespace {

constexpr std::int32_t kProgressInterval = 1000;

// Every packet through the full steps, with the worker's drop lines and
// looks at the pace of the progress line (a pass for every packet). The
// file is read by read calls into a small block, where the worker lends
// it 1 MiB slices: the packets the analysis keeps go away at other places.
void RunFullSteps(const std::string& path, JobRecord& job) {
  platform::FileHandle file = platform::OpenFileForRead(path);
  FileByteSource source(file, false);
  ReadBuffer buffer;
  buffer.capacity = 4099;
  // The worker's own local-time rules, so that the broadcast times agree.
  job.context = CreateContext(job.contextList, 0, {platform::LocalTimeToEpoch, platform::EpochToLocalTime});
  TsContext& context = *job.context;
  JobAnalysis& analysis = *job.analysis;
  PrepareForAnalysis(context);
  std::int32_t counter = 0;
  for (;;) {
    ++counter;
    if (buffer.data != nullptr) KeepLastPackets(analysis, context, buffer.data, buffer.data + buffer.validLength);
    const PacketResult next = NextPacket(buffer, source);
    if (!next.HasPacket()) break;
    PidState* state = ParsePacket(next.packet, context);
    if (state == nullptr || !state->parsed) {
      AnalyseDamagedPacket(analysis, context, next.position, next.length);
      continue;
    }
    FullPacketFacts facts;
    facts.position = next.position;
    facts.length = next.length;
    facts.previousCc = state->lastCc;
    facts.drop = CheckContinuity(context, *state);
    UpdateClocks(context, *state);
    facts.table = DispatchTables(next.packet, context, *state);
    facts.tablesRead = true;
    AnalyseFullPacket(analysis, context, *state, next.packet, facts);
    if ((facts.drop && HasPcrPid(context)) || counter <= kProgressInterval) continue;
    counter = 0;
    AnalyseAtProgressPace(analysis, context);
  }
  KeepLastPackets(analysis, context, buffer.data, buffer.data + buffer.validLength);
  FinishAnalysis(analysis, context);
  ReleaseReadBuffer(buffer);
  platform::CloseFile(file);
}

void ExpectSameAnalysis(const std::string& stream) {
  AnalysedJob worker = AnalyseStream(stream);
  JobRecord full;
  full.sourcePath = worker.report.source;
  full.analysis = std::make_unique<JobAnalysis>(AnalysisSettings{CountingRule::Default, true});
  const testing::TempDir dir;
  RunFullSteps(dir.Write("stream.ts", stream), full);
  JobReport reference = CollectJobReport(worker.report.source, full, worker.summaryTotal);
  reference.outcome = worker.report.outcome;  // how the bytes were read differs
  reference.complete = worker.report.complete;
  RunReport a;
  a.jobs.push_back(worker.report);
  RunReport b;
  b.jobs.push_back(reference);
  EXPECT_EQ(FormatRunReport(a, "k"), FormatRunReport(b, "k"));

  // The whole state, every member of the context, of each PID's record and
  // of the analysis.
  EXPECT_TRUE(SameAnalysisState(*worker.record->context, *full.context));
  EXPECT_TRUE(SameJobAnalysis(*worker.record->analysis, *full.analysis));
  // The comparison must have had something to compare.
  EXPECT_GT(reference.continuityErrorTotal, 0u);
  EXPECT_FALSE(reference.drops.items.empty());
}

std::string Faulty(std::uint32_t packetSize, std::uint16_t pcrPid) {
  using tsgen::InjectKind;
  tsgen::Profile profile = tsgen::DefaultProfile();
  profile.seconds = 4.0;
  profile.timeIntervalSeconds = 1;
  profile.packetSize = packetSize;
  profile.programs[0].pcrPid = pcrPid;
  profile.injections = {{InjectKind::Drop, -1, 0, 0.002, 1},           {InjectKind::Duplicate, -1, 0, 0.002, 1},
                        {InjectKind::TransportError, -1, 0, 0.001, 1}, {InjectKind::Garbage, -1, 0, 0.0005, 7},
                        {InjectKind::Scrambled, -1, 0, 0.002, 1},      {InjectKind::AdaptationOnly, 0x0111, 0, 0.002, 1}};
  if (packetSize == kFramedPacketSize) profile.injections.push_back({InjectKind::Prefix47, -1, 0, 0.002, 1});
  const std::vector<std::uint8_t> bytes = tsgen::Generate(profile, nullptr);
  return std::string(bytes.begin(), bytes.end());
}

TEST(WatchedLane, SameAnalysisAsTheFullStepsForEveryPacket) {
  struct Case {
    const char* name;
    std::string stream;
  };
  const Case cases[] = {
      {"188, PCR PID of its own", Faulty(188, 0x01FF)},
      {"192, PCR on the video PID", Faulty(192, 0x0111)},
      {"broadcast with copies, losses and a late PMT",
       BuildBroadcast(300, [](Piece piece, int m, ts_test::Packet&) {
         return !(piece == Piece::Video && m % 37 == 0) && !(piece == Piece::Pmt && m > 100 && m < 150);
       })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.stream.empty());
    ExpectSameAnalysis(c.stream);
  }
}

}  // namespace
}  // namespace kestrun::analysis_test
