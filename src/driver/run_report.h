// The machine-readable account of a run: every job in order with its source,
// how it was read and ended, its PIDs with their counts and roles, and its
// drops one by one. Collected by the job runner, written by main at the end
// of the run when a report path was given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/system_time.h"
#include "ts/pid_roles.h"
#include "worker/job_outcome.h"
#include "worker/stream_worker.h"

namespace kestrun {

// Why the job runner did not start a worker for a source.
enum class SourceRefusal {
  None,
  FileMissing,
  NotTransportStream,
  TunerSpaceMissing,
  TunerChannelMissing,
  TunerDriverMissing,
};

struct PidReport {
  std::uint16_t pid = 0;
  std::uint64_t checked = 0;
  std::uint64_t drops = 0;
  std::uint8_t lastCc = 0;
  bool pcrExempt = false;
  std::uint64_t transportErrors = 0;
  std::uint64_t scrambled = 0;
  std::vector<PidRole> roles;
};

struct JobReport {
  std::string source;  // the source text as given
  std::int64_t started = 0;  // seconds since 1970 UTC; 0 when not known
  bool running = false;      // a report made while the job runs
  SourceRefusal refusal = SourceRefusal::None;
  JobOutcome outcome;  // kind taken from the source text when refused
  std::int32_t dropTotal = 0;  // the job's share of the exit code
  std::vector<PidReport> pids;  // in the order of the summary
  std::vector<DamagedPid> damagedOnly;
  std::vector<std::uint16_t> pcrPids;
  bool hasBroadcastTime = false;
  SystemTime broadcastTime;
};

struct RunReport {
  std::int64_t started = 0;  // seconds since 1970 UTC
  std::int64_t ended = 0;
  bool running = false;  // written during the run: no end, no exit code yet
  std::int32_t dropTotal = 0;
  int exitCode = 0;
  std::vector<JobReport> jobs;
};

// A job whose worker ran (or could not be started): moves the worker's
// outcome out of the record and reads the analysis state.
JobReport CollectJobReport(const std::string& source, JobRecord& job, std::int32_t dropTotal);
JobReport RefusedJobReport(const std::string& source, SourceRefusal refusal);
// A running job as it stands: copies what the worker has found so far. Only
// while the worker cannot change it (a LiveJob visit).
JobReport RunningJobReport(const std::string& source, const JobRecord& job);

// The report as a JSON document (the form is described in docs/report.md).
std::string FormatRunReport(const RunReport& report, const std::string& programName);

}  // namespace kestrun
