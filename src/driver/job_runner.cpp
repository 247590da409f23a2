#include <array>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "driver/job.h"
#include "driver/live_reporter.h"
#include "report/job_report_collect.h"
#include "driver/source_check.h"
#include "driver/summary.h"
#include "output/message.h"
#include "support/catalog.h"
#include "worker/stream_worker.h"

namespace kestrun {
namespace {

constexpr int kJobRecordCount = 2;

// Runs the worker on its own thread and waits for it without time-out.
void RunWorker(WorkerArgs& args) {
  try {
    std::thread worker(StreamWorkerMain, &args);
    worker.join();
  } catch (const std::system_error& error) {
    WriteMessage(text::kMsgWorkerThreadFailed, kJobRecordCount, error.code().value());
  }
}

// The job's derived analysis runs when the report or the console needs it;
// without, the packet loop stays as lean as it can be. A job whose analysis
// cannot be allocated runs without it (and counts by the default rule).
std::unique_ptr<JobAnalysis> MakeAnalysis(const ProgramContext& program) {
  const CountingRule rule = program.settings.countingRule;
  if (!program.report && rule == CountingRule::Default) return nullptr;
  AnalysisSettings settings;
  settings.rule = rule;
  // The report and the page list the events; the metrics file needs only
  // the counts.
  settings.keepEvents = !program.settings.jsonPath.empty() || !program.settings.htmlPath.empty();
  try {
    return std::make_unique<JobAnalysis>(settings);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// The places of damaged and scrambled packets are sampled only for the
// picture of the run.
std::unique_ptr<StreamSampler> MakeSampler(const ProgramContext& program) {
  if (program.settings.htmlPath.empty()) return nullptr;
  try {
    return std::make_unique<StreamSampler>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

std::int32_t RunJob(ProgramContext& program) {
  const std::string& source = program.currentSource;
  if (source.empty()) return 0;
  SourceRefusal refusal = SourceRefusal::None;
  if (!CheckSource(program, source.substr(0, source.find(';')), refusal)) {
    if (program.live != nullptr) program.live->AddJob(RefusedJobReport(source, refusal));
    return 0;
  }
  ChooseLogTarget(program.settings);

  std::array<JobRecord, kJobRecordCount> jobs;
  jobs[0].sourcePath = source;
  jobs[0].analysis = MakeAnalysis(program);
  jobs[0].sampler = MakeSampler(program);
  LiveJob live;
  if (program.live != nullptr) {
    jobs[0].live = &live;
    program.live->BeginJob(source, jobs[0], live);
  }
  WorkerArgs args{jobs.data(), kJobRecordCount, &program.settings};
  RunWorker(args);
  program.passBytesRead += jobs[0].outcome.bytesRead;
  const std::int32_t total = PrintSummary(jobs.data(), kJobRecordCount, program.settings.reportWrapAround,
                                          program.settings.countingRule);
  if (program.live != nullptr) program.live->EndJob(total);
  return total;
}

}  // namespace kestrun
