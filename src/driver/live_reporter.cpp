#include "driver/live_reporter.h"

#include <utility>

#include "output/report_file.h"
#include "platform/platform.h"
#include "report/report_words.h"

namespace kestrun {

MetricsJob MetricsOfJob(const JobReport& job, CountingRule rule) {
  MetricsJob metrics;
  metrics.source = platform::TextToUtf8(job.source);
  metrics.started = job.started;
  metrics.running = job.running;
  for (const PidReport& pid : job.pids) {
    // Drops as the console counts them.
    const std::uint64_t drops = rule == CountingRule::Iso ? pid.continuityErrors : pid.drops;
    metrics.pids.push_back({pid.pid, pid.checked, drops, pid.transportErrors, pid.scrambled,
                            std::string(PidKindWord(pid.kind)), pid.continuityErrors});
  }
  for (std::size_t i = 0; i < job.damagedOnly.size(); ++i) {
    const PidKind kind = i < job.damagedOnlyKinds.size() ? job.damagedOnlyKinds[i] : PidKind::Other;
    metrics.pids.push_back({job.damagedOnly[i].pid, 0, 0, job.damagedOnly[i].teiCount, 0,
                            std::string(PidKindWord(kind)), 0});
  }
  for (std::size_t kind = 0; kind < kStreamErrorKindCount; ++kind) {
    metrics.streamErrors.push_back({std::string(StreamErrorWord(static_cast<StreamErrorKind>(kind))),
                                    job.streamErrors[kind].count});
  }
  metrics.readBytes = job.outcome.bytesRead;
  metrics.discardedBytes = job.outcome.discardedBytes;
  metrics.lastDropTime = job.outcome.lastDropTime;
  if (job.outcome.signal.HasLevel()) metrics.signalLevel = job.outcome.signal.latest;
  return metrics;
}

std::string FormatRunMetrics(const RunReport& report) {
  std::vector<MetricsJob> jobs;
  jobs.reserve(report.jobs.size());
  for (const JobReport& job : report.jobs) jobs.push_back(MetricsOfJob(job, report.countingRule));
  return FormatMetrics(jobs);
}

LiveReporter::LiveReporter(RunReport& report, const JobSettings& settings, std::string programName)
    : report_(report), settings_(settings), programName_(std::move(programName)) {}

LiveReporter::~LiveReporter() { Stop(); }

void LiveReporter::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { Run(); });
}

void LiveReporter::Stop() {
  {
    std::lock_guard lock(stopGuard_);
    stopping_ = true;
  }
  stopped_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void LiveReporter::BeginJob(const std::string& source, JobRecord& job, LiveJob& live) {
  std::lock_guard lock(guard_);
  source_ = source;
  job_ = &job;
  live_ = &live;
  jobStarted_ = platform::CalendarSeconds();
}

void LiveReporter::EndJob(std::int32_t dropTotal) {
  std::lock_guard lock(guard_);
  if (job_ == nullptr) return;
  JobReport report = CollectJobReport(source_, *job_, dropTotal);
  report.started = jobStarted_;
  report_.jobs.push_back(std::move(report));
  job_ = nullptr;
  live_ = nullptr;
}

void LiveReporter::AddJob(JobReport report) {
  std::lock_guard lock(guard_);
  report_.jobs.push_back(std::move(report));
}

bool LiveReporter::AddRunningJob() {
  if (job_ == nullptr) return false;
  JobReport running;
  live_->Visit([&] { running = RunningJobReport(source_, *job_); });
  running.started = jobStarted_;
  report_.jobs.push_back(std::move(running));
  return true;
}

void LiveReporter::RemoveRunningJob(bool added) {
  if (added) report_.jobs.pop_back();
}


// The report is written piece by piece as it is formatted, under the guard
// (a running job's report is a copy, so the worker goes on meanwhile): a
// report with long event lists never lies whole in memory. A file that
// cannot be written now may be written next time; the last write of the run
// says when it cannot. Standard output takes one document, the last.
void LiveReporter::WriteFiles() {
  std::string metrics;
  {
    std::lock_guard lock(guard_);
    const bool added = AddRunningJob();
    const std::string& jsonPath = settings_.jsonPath;
    if (!jsonPath.empty() && !IsStandardOutputPath(jsonPath)) {
      std::uint32_t total = 0;
      for (const JobReport& job : report_.jobs) total += static_cast<std::uint32_t>(job.dropTotal);
      RunReport& report = report_;
      const std::int32_t savedTotal = report.dropTotal;
      report.running = true;
      report.dropTotal = static_cast<std::int32_t>(total);
      WriteReportFile(jsonPath, [&](const FileChunkSink& sink) {
        WriteRunReport(report, programName_, [&sink](std::string_view piece) { sink(piece); });
      });
      report.running = false;
      report.dropTotal = savedTotal;
    }
    if (!settings_.metricsPath.empty()) metrics = FormatRunMetrics(report_);
    RemoveRunningJob(added);
  }
  if (!metrics.empty() && !IsStandardOutputPath(settings_.metricsPath)) {
    WriteReportFile(settings_.metricsPath, metrics);
  }
  // The running job's copy of a long event list takes megabytes for a moment.
  platform::ReturnFreedMemory();
}

void LiveReporter::Run() {
  const std::chrono::seconds interval(settings_.intervalSeconds);
  auto next = std::chrono::steady_clock::now() + interval;
  std::unique_lock lock(stopGuard_);
  for (;;) {
    if (stopped_.wait_until(lock, next, [this] { return stopping_; })) return;
    lock.unlock();
    WriteFiles();
    lock.lock();
    // A late round is not made up for with a burst of writes.
    next += interval;
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now + interval;
  }
}

}  // namespace kestrun
