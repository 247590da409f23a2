#include "analysis/analysis_run.h"

#include <array>

#include "driver/summary.h"
#include "report/job_report_collect.h"
#include "support/temp_dir.h"
#include "worker/stream_worker.h"

namespace kestrun::analysis_test {

AnalysedJob AnalyseStream(const std::string& bytes, CountingRule rule) {
  const testing::TempDir dir;
  const std::string path = dir.Write("stream.ts", bytes);
  auto jobs = std::make_shared<std::array<JobRecord, 2>>();
  JobRecord& record = (*jobs)[0];
  record.sourcePath = path;
  record.analysis = std::make_unique<JobAnalysis>(AnalysisSettings{rule, true});
  JobSettings settings;
  settings.countingRule = rule;
  WorkerArgs args{jobs->data(), 2, &settings};
  StreamWorkerMain(&args);
  AnalysedJob job;
  job.summaryTotal = PrintSummary(jobs->data(), 2, false, rule);
  job.report = CollectJobReport(path, record, job.summaryTotal);
  job.record = std::shared_ptr<JobRecord>(jobs, &record);
  return job;
}

std::string Join(const std::vector<Packet>& packets) {
  std::string bytes;
  for (const Packet& packet : packets) bytes.append(packet.begin(), packet.end());
  return bytes;
}

std::vector<std::pair<DropKind, int>> KindsAndLosses(const std::vector<DropEvent>& events) {
  std::vector<std::pair<DropKind, int>> out;
  for (const DropEvent& event : events) out.emplace_back(event.kind, event.lostPackets);
  return out;
}

}  // namespace kestrun::analysis_test
