#include "ts/ts_context.h"

namespace kestrun {
namespace {

constexpr std::size_t kPcrPidOffset = 8;
constexpr std::size_t kCrcSize = 4;

// Only the PCR_PID is used: its packets are exempt from the continuity
// check from now on. A PCR_PID of 0x1FFF (no PCR) is recorded as well.
bool UsePmtSection(TsContext& context, PidState& state) {
  const std::vector<std::uint8_t>& section = state.section.data;
  const bool hasPcrPid = section.size() >= kPcrPidOffset + 2 + kCrcSize;
  if (hasPcrPid) {
    const auto pcrPid =
        static_cast<std::uint16_t>((section[kPcrPidOffset] & 0x1F) << 8 | section[kPcrPidOffset + 1]);
    AddPcrPid(context, pcrPid);
  }
  DiscardSection(state);
  return hasPcrPid;
}

}  // namespace

bool ProcessPmt(const std::uint8_t* packet, const ProgramEntry& /*program*/, TsContext& context,
                PidState& state) {
  const bool tailUsed = CompleteSectionTail(packet, state) && UsePmtSection(context, state);
  if (AppendSectionBytes(packet, state, kPmtTableId) != SectionResult::Complete) return tailUsed;
  return UsePmtSection(context, state) || tailUsed;
}

}  // namespace kestrun
