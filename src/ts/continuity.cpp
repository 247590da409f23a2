#include "ts/ts_context.h"

namespace kestrun {

bool CheckContinuity(const TsContext& context, PidState& state) {
  // PCR PIDs often carry adaptation-only packets whose counter does not
  // advance; they are left out of the check altogether.
  if (IsPcrPid(context, state.pid)) return false;
  state.dropFlag = false;
  const std::uint8_t expected = (state.lastCc + 1) & 0x0F;
  if (!state.first && state.cc != expected) {
    ++state.dropCount;
    state.dropFlag = true;
  }
  ++state.totalCount;
  state.lastCc = state.cc;
  state.first = false;
  return state.dropFlag;
}

bool AddPcrPid(TsContext& context, std::uint16_t pid) {
  if (pid == kFreePcrSlot) return false;
  for (std::uint16_t& slot : context.pcrPids) {
    if (slot == pid) return true;
    if (slot == kFreePcrSlot) {
      slot = pid;
      return true;
    }
  }
  return false;
}

bool IsPcrPid(const TsContext& context, std::uint16_t pid) {
  if (pid == kFreePcrSlot) return false;
  for (const std::uint16_t slot : context.pcrPids) {
    if (slot == kFreePcrSlot) return false;
    if (slot == pid) return true;
  }
  return false;
}

}  // namespace kestrun
