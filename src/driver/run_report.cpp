#include "driver/run_report.h"

#include <utility>

namespace kestrun {
namespace {

PidReport ReportPid(const TsContext& context, const PidState& state) {
  PidReport pid;
  pid.pid = state.pid;
  pid.checked = state.totalCount;
  pid.drops = state.dropCount;
  pid.lastCc = state.lastCc;
  pid.pcrExempt = IsPcrPid(context, state.pid);
  pid.transportErrors = state.teiCount;
  pid.scrambled = state.scrambledCount;
  pid.roles = RolesOfPid(context, state.pid);
  return pid;
}

void ReadContext(const TsContext& context, JobReport& report) {
  for (const auto& state : context.pidList) report.pids.push_back(ReportPid(context, *state));
  report.damagedOnly = context.damagedOnly;
  for (const std::uint16_t pid : context.pcrPids) {
    if (pid == kFreePcrSlot) break;
    report.pcrPids.push_back(pid);
  }
  report.hasBroadcastTime = context.totSeconds > 0;
  report.broadcastTime = context.totLocalTime;
}

// The job runner's reading of a source text that never reached a worker.
SourceKind KindOfText(const std::string& source) {
  if (NamesStdIn(source.substr(0, source.find(';')))) return SourceKind::StdIn;
  if (StartsWith(source, kPipePrefix)) return SourceKind::Pipe;
  if (StartsWith(source, kTunerPrefix)) return SourceKind::Tuner;
  return SourceKind::File;
}

}  // namespace

JobReport CollectJobReport(const std::string& source, JobRecord& job, std::int32_t dropTotal) {
  JobReport report;
  report.source = source;
  report.outcome = std::move(job.outcome);
  report.dropTotal = dropTotal;
  if (job.context != nullptr) ReadContext(*job.context, report);
  return report;
}

JobReport RunningJobReport(const std::string& source, const JobRecord& job) {
  JobReport report;
  report.source = source;
  report.running = true;
  report.outcome = job.outcome;
  if (job.tuner != nullptr) {
    report.outcome.discardedBytes = job.tuner->discardedTotal.load();
    report.outcome.signal = TunerSignal(*job.tuner);
  }
  if (job.context == nullptr) return report;
  ReadContext(*job.context, report);
  // The job's share of the exit code so far, as the summary will add it.
  std::uint32_t total = 0;
  for (const PidReport& pid : report.pids) {
    if (!pid.pcrExempt) total += static_cast<std::uint32_t>(pid.drops);
  }
  report.dropTotal = static_cast<std::int32_t>(total);
  return report;
}

JobReport RefusedJobReport(const std::string& source, SourceRefusal refusal) {
  JobReport report;
  report.source = source;
  report.refusal = refusal;
  report.outcome.kind = KindOfText(source);
  return report;
}

}  // namespace kestrun
