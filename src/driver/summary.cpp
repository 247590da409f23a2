#include "driver/summary.h"

#include "output/console.h"
#include "output/message.h"
#include "support/run_flags.h"
#include "worker/report.h"

namespace kestrun {
namespace {

bool HasPidStates(const JobRecord& job) {
  return !job.sourcePath.empty() && job.context != nullptr && !job.context->pidList.empty();
}

std::uint32_t PrintRecordSummary(const JobRecord& job, bool reportWrapAround) {
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
  for (const auto& state : context.pidList) {
    const bool exempt = IsPcrPid(context, state->pid);
    WriteMessageText(PidSummaryLineText(state->pid, state->lastCc, state->dropCount,
                                        state->totalCount, exempt));
    // Added as 32-bit integers, as the exit code is.
    if (!exempt && state->dropCount > 0) total += static_cast<std::uint32_t>(state->dropCount);
  }
  WriteMessageText(EmptyLineText());
  return total;
}

}  // namespace

std::int32_t PrintSummary(const JobRecord* jobs, int count, bool reportWrapAround) {
  ConsoleText("\n");
  std::uint32_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (HasPidStates(jobs[i])) total += PrintRecordSummary(jobs[i], reportWrapAround);
  }
  return static_cast<std::int32_t>(total);
}

}  // namespace kestrun
