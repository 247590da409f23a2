// The report files rewritten during the run: every interval of wall-clock
// time a thread of its own writes the JSON report (marked as written during
// the run) and the metrics file from the jobs that have ended and the one
// that runs. It reads the running job only through its LiveJob, so it never
// holds up the packet loop, and it keeps time while the input stalls.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "report/job_report_collect.h"
#include "report/run_report.h"
#include "report/run_report_json.h"
#include "report/metrics_report.h"
#include "worker/live_job.h"
#include "worker/stream_worker.h"

namespace kestrun {

class LiveReporter {
 public:
  // `report` collects the jobs; it is touched only under the reporter's
  // guard from here on.
  LiveReporter(RunReport& report, const JobSettings& settings, std::string programName);
  ~LiveReporter();
  LiveReporter(const LiveReporter&) = delete;
  LiveReporter& operator=(const LiveReporter&) = delete;

  // Starts the thread that rewrites the files every interval.
  void Start();
  // Stops it; the files are then written for the last time by the caller.
  void Stop();

  // The job runner: a worker is about to run `job` (it shares its state
  // through `live`) ...
  void BeginJob(const std::string& source, JobRecord& job, LiveJob& live);
  // ... and has ended: its report takes the running job's place in one
  // step, so no rewrite ever misses it.
  void EndJob(std::int32_t dropTotal);
  // A job that never ran a worker.
  void AddJob(JobReport report);

 private:
  void Run();
  void WriteFiles();
  // With the guard held: adds the running job's report as it stands, for
  // the next file; RemoveRunningJob takes it out again.
  bool AddRunningJob();
  void RemoveRunningJob(bool added);

  RunReport& report_;
  const JobSettings& settings_;
  std::string programName_;
  std::mutex guard_;  // report_ and the running job
  std::string source_;
  JobRecord* job_ = nullptr;
  LiveJob* live_ = nullptr;
  std::int64_t jobStarted_ = 0;

  std::mutex stopGuard_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::thread thread_;
};

// What the metrics file shows of a job, and of the run's jobs.
MetricsJob MetricsOfJob(const JobReport& job, CountingRule rule);
std::string FormatRunMetrics(const RunReport& report);

}  // namespace kestrun
