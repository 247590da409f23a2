#include "report/job_report_collect.h"

#include <algorithm>
#include <array>
#include <type_traits>
#include <utility>

#include "analysis/pid_kinds.h"

namespace kestrun {
namespace {

const std::vector<std::uint16_t> kNoEmmPids;

PidReport ReportPid(const TsContext& context, const JobAnalysis* analysis, const PidState& state) {
  PidReport pid;
  pid.pid = state.pid;
  pid.checked = state.totalCount;
  pid.drops = state.dropCount;
  pid.lastCc = state.lastCc;
  pid.pcrExempt = IsPcrPid(context, state.pid);
  pid.transportErrors = state.teiCount;
  pid.scrambled = state.scrambledCount;
  pid.roles = RolesOfPid(context, state.pid);
  PidKindName kind = KindOfPid(context, analysis ? analysis->emmPids : kNoEmmPids, state.pid);
  pid.kind = kind.kind;
  pid.name = std::move(kind.name);
  if (analysis != nullptr) {
    if (const PidWatch* watch = analysis->watchIndex[state.pid]) pid.continuityErrors = watch->errors;
  }
  return pid;
}

std::vector<ProgramReport> ReportPrograms(const TsContext& context) {
  std::vector<ProgramReport> programs;
  for (const ProgramEntry& entry : context.programList) {
    if (entry.programNumber == 0) continue;  // the network PID
    ProgramReport program;
    program.number = entry.programNumber;
    program.pmtPid = entry.pmtPid;
    for (const ProgramStreams& pmt : context.pmtPrograms) {
      if (pmt.programNumber != entry.programNumber) continue;
      program.hasPmt = true;
      program.pcrPid = pmt.pcrPid;
      for (const ElementaryStreamEntry& stream : pmt.streams) {
        program.streams.push_back({stream.pid, stream.streamType});
      }
    }
    programs.push_back(std::move(program));
  }
  return programs;
}

void ReadContext(const TsContext& context, const JobAnalysis* analysis, JobReport& report) {
  for (const auto& state : context.pidList) {
    report.pids.push_back(ReportPid(context, analysis, *state));
    report.transportErrorTotal += state->teiCount;
    report.scrambledTotal += state->scrambledCount;
  }
  report.damagedOnly = context.damagedOnly;
  for (const DamagedPid& damaged : context.damagedOnly) {
    report.transportErrorTotal += damaged.teiCount;
    report.damagedOnlyKinds.push_back(
        KindOfPid(context, analysis ? analysis->emmPids : kNoEmmPids, damaged.pid).kind);
  }
  for (const std::uint16_t pid : context.pcrPids) {
    if (pid == kFreePcrSlot) break;
    report.pcrPids.push_back(pid);
  }
  report.hasBroadcastTime = context.totSeconds > 0;
  report.broadcastTime = context.totLocalTime;
  report.programs = ReportPrograms(context);
}

// Each incident's components: the kinds of the PIDs it hit, as the tables
// finally named them.
void NameComponents(const TsContext& context, const JobAnalysis& analysis, JobReport& report) {
  std::array<PidKind, kPidCount> kinds;
  kinds.fill(PidKind::Other);
  std::array<bool, kPidCount> known{};
  for (const PidReport& pid : report.pids) {
    kinds[pid.pid] = pid.kind;
    known[pid.pid] = true;
  }
  for (LossIncident& incident : report.incidents.items) {
    std::array<bool, kPidKindCount> hit{};
    for (const std::uint16_t pid : incident.pids) {
      const PidKind kind = known[pid] ? kinds[pid] : KindOfPid(context, analysis.emmPids, pid).kind;
      hit[static_cast<std::size_t>(kind)] = true;
    }
    for (std::size_t kind = 0; kind < kPidKindCount; ++kind) {
      if (hit[kind]) incident.components.push_back(static_cast<PidKind>(kind));
    }
  }
}

// The analysis's event lists are moved out of an analysis that has ended
// (`Analysis` a JobAnalysis&) and copied from one still running (const).
template <typename Analysis>
void ReadAnalysis(const TsContext& context, Analysis& analysis, JobReport& report) {
  constexpr bool kTake = !std::is_const_v<Analysis>;
  const auto take = [](auto& list) -> decltype(auto) {
    if constexpr (kTake) {
      return std::move(list);
    } else {
      return static_cast<const std::remove_reference_t<decltype(list)>&>(list);
    }
  };
  report.drops = take(analysis.drops);
  report.continuityErrors = take(analysis.continuityErrors);
  report.continuityErrorTotal = analysis.continuityErrorTotal;
  report.lostPacketsEstimate = analysis.lostPacketsEstimate;
  report.incidents = take(analysis.incidents.closed);
  NameComponents(context, analysis, report);
  report.streamErrors = analysis.streamErrors.tallies;
  report.syncBytesSkipped = analysis.streamErrors.syncBytesSkipped;
  report.streamErrorEvents = take(analysis.streamErrors.events);
  report.hasPlayTime = analysis.hasPlayTime;
  report.firstTicks = analysis.firstTicks;
  report.lastTicks = analysis.lastTicks;
  report.hasBroadcastSpan = analysis.hasBroadcastTime && context.totSeconds > 0;
  report.firstBroadcastTime = analysis.firstBroadcastTime;
  report.lastBroadcastTime = context.totLocalTime;
}

// The job's reading of a source text that never reached a worker.
SourceKind KindOfText(const std::string& source) {
  if (NamesStdIn(source.substr(0, source.find(';')))) return SourceKind::StdIn;
  if (StartsWith(source, kPipePrefix)) return SourceKind::Pipe;
  if (StartsWith(source, kTunerPrefix)) return SourceKind::Tuner;
  return SourceKind::File;
}

bool ReadWhole(const JobOutcome& outcome) {
  return outcome.kind == SourceKind::File && outcome.end == JobEnd::EndOfInput && outcome.fileSize >= 0 &&
         static_cast<std::uint64_t>(outcome.startPosition) + outcome.bytesRead ==
             static_cast<std::uint64_t>(outcome.fileSize);
}

}  // namespace

JobReport CollectJobReport(const std::string& source, JobRecord& job, std::int32_t dropTotal) {
  JobReport report;
  report.source = source;
  report.outcome = std::move(job.outcome);
  report.dropTotal = dropTotal;
  report.complete = ReadWhole(report.outcome);
  if (job.context != nullptr) {
    ReadContext(*job.context, job.analysis.get(), report);
    if (job.analysis) ReadAnalysis(*job.context, *job.analysis, report);
  }
  if (job.sampler) report.samples = std::move(job.sampler->samples);
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
  const JobAnalysis* analysis = job.analysis.get();
  ReadContext(*job.context, analysis, report);
  if (analysis != nullptr) ReadAnalysis(*job.context, *analysis, report);
  // The job's share of the exit code so far, as the summary will add it.
  // (The systems rule never checks the null PID; the default one skips the
  // PCR PIDs.)
  const bool systemsRule = analysis != nullptr && analysis->settings.rule == CountingRule::Iso;
  std::uint32_t total = 0;
  for (const PidReport& pid : report.pids) {
    const bool exempt = systemsRule ? pid.pid == kNullPid : pid.pcrExempt;
    if (!exempt) total += static_cast<std::uint32_t>(systemsRule ? pid.continuityErrors : pid.drops);
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
