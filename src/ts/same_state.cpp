#include "ts/same_state.h"

#include <algorithm>
#include <tuple>

namespace kestrun {
namespace {

std::uint32_t PidOf(const PidState* state) { return state != nullptr ? state->pid : ~0u; }

bool SamePacketBytes(const std::uint8_t* a, const std::uint8_t* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return std::equal(a, a + kTsPacketSize, b);
}

bool SamePidLists(const PidList& a, const PidList& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!SamePidState(*a[i], *b[i])) return false;
  }
  return true;
}

}  // namespace

bool SamePidState(const PidState& a, const PidState& b) {
  if (!SamePacketBytes(a.lastPayloadPacket, b.lastPayloadPacket)) return false;
  PidState x = a;
  x.lastPayloadPacket = b.lastPayloadPacket;
  return x == b;
}

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
