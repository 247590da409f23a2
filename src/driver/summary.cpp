#include "driver/summary.h"

#include "output/console.h"
#include "output/message.h"
#include "support/run_flags.h"
#include "ts/pid_roles.h"
#include "worker/report.h"

namespace kestrun {
namespace {

bool HasPidStates(const JobRecord& job) {
  return !job.sourcePath.empty() && job.context != nullptr && !job.context->pidList.empty();
}

// One PID's summary line under the rule the console follows; its drops as
// they add to the job's total (none for a PID the rule leaves alone).
struct PidLine {
  std::uint8_t lastCc = 0;
  std::uint64_t drops = 0;
  std::uint64_t total = 0;
  bool exempt = false;
};

PidLine DefaultRuleLine(const TsContext& context, const PidState& state) {
  return {state.lastCc, state.dropCount, state.totalCount, IsPcrPid(context, state.pid)};
}

// The MPEG-2 systems rule checks PCR PIDs too, but never the null PID; its
// Total counts the packets with payload, the ones it looks at.
PidLine SystemsRuleLine(const JobAnalysis& analysis, const PidState& state) {
  PidLine line;
  line.exempt = state.pid == kNullPid;
  if (state.nextCc != kNoNextCc) line.lastCc = static_cast<std::uint8_t>((state.nextCc - 1) & 0x0F);
  line.total = state.payloadPackets;
  if (const PidWatch* watch = analysis.watchIndex[state.pid]) line.drops = watch->errors;
  return line;
}

std::uint32_t PrintRecordSummary(const JobRecord& job, bool reportWrapAround, CountingRule rule) {
  const TsContext& context = *job.context;
  if (reportWrapAround && context.wrapTime != 0) {
    WriteMessageText(WrapHeaderText(job.sourcePath));
    WriteMessageText(WrapDateText(context.wrapLocalTime));
  }
  if (DropHeaderPending.exchange(false)) {
    WriteMessageText(DropHeaderText(job.sourcePath));
  } else {
    WriteMessageText(EmptyLineText());
  }
  std::uint32_t total = 0;
  const bool systemsRule = rule == CountingRule::Iso && job.analysis != nullptr;
  for (const auto& state : context.pidList) {
    const PidLine line = systemsRule ? SystemsRuleLine(*job.analysis, *state) : DefaultRuleLine(context, *state);
    WriteMessageText(PidSummaryLineText(state->pid, line.lastCc, static_cast<std::int64_t>(line.drops),
                                        static_cast<std::int64_t>(line.total), line.exempt));
    // Added as 32-bit integers, as the exit code is.
    if (!line.exempt && line.drops > 0) total += static_cast<std::uint32_t>(line.drops);
  }
  WriteMessageText(EmptyLineText());
  return total;
}

}  // namespace

std::int32_t PrintSummary(const JobRecord* jobs, int count, bool reportWrapAround, CountingRule rule) {
  ConsoleText("\n");
  std::uint32_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (HasPidStates(jobs[i])) total += PrintRecordSummary(jobs[i], reportWrapAround, rule);
  }
  return static_cast<std::int32_t>(total);
}

}  // namespace kestrun
