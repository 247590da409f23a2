#include "ts/same_state.h"

#include <tuple>

namespace kestrun {
namespace {

std::uint32_t PidOf(const PidState* state) { return state != nullptr ? state->pid : ~0u; }

bool SamePidLists(const PidList& a, const PidList& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!(*a[i] == *b[i])) return false;
  }
  return true;
}

// The index points into each context's own list: it must point at the
// records of the same PIDs.
bool SamePidIndexes(const std::array<PidState*, kPidCount>& a, const std::array<PidState*, kPidCount>& b) {
  for (std::size_t pid = 0; pid < kPidCount; ++pid) {
    if (PidOf(a[pid]) != PidOf(b[pid])) return false;
  }
  return true;
}

}  // namespace

bool SameAnalysisState(const TsContext& a, const TsContext& b) {
  // Every member is bound: a member added to TsContext without its place
  // here does not compile.
  const auto& [key, pcrPids, wrapTime, wrapLocalTime, wrapPending, pidList, pidIndex, programList,
               damagedOnly, pmtPrograms, keepsDescriptors, pidMarks, totSeconds, totLocalTime, pcrClock,
               ptsClock, dtsClock, pesClockFeeder, localTime] = a;
  const auto& [bKey, bPcrPids, bWrapTime, bWrapLocalTime, bWrapPending, bPidList, bPidIndex,
               bProgramList, bDamagedOnly, bPmtPrograms, bKeepsDescriptors, bPidMarks, bTotSeconds,
               bTotLocalTime, bPcrClock, bPtsClock, bDtsClock, bPesClockFeeder, bLocalTime] = b;
  const bool sameValues =
      std::tie(key, pcrPids, wrapTime, wrapLocalTime, wrapPending, programList, damagedOnly, pmtPrograms,
               keepsDescriptors, pidMarks, totSeconds, totLocalTime, pcrClock, ptsClock, dtsClock, localTime) ==
      std::tie(bKey, bPcrPids, bWrapTime, bWrapLocalTime, bWrapPending, bProgramList, bDamagedOnly,
               bPmtPrograms, bKeepsDescriptors, bPidMarks, bTotSeconds, bTotLocalTime, bPcrClock, bPtsClock,
               bDtsClock, bLocalTime);
  return sameValues && SamePidLists(pidList, bPidList) && SamePidIndexes(pidIndex, bPidIndex) &&
         PidOf(pesClockFeeder) == PidOf(bPesClockFeeder);
}

}  // namespace kestrun
