#include "ts/ts_context.h"

namespace kestrun {

bool AddPcrPid(TsContext& context, std::uint16_t pid) {
  if (pid == kFreePcrSlot) return false;
  for (std::uint16_t& slot : context.pcrPids) {
    if (slot == pid) return true;
    if (slot == kFreePcrSlot) {
      slot = pid;
      if (pid < kPidCount) context.pidMarks[pid] |= kPcrPidMark;
      return true;
    }
  }
  return false;
}

}  // namespace kestrun
