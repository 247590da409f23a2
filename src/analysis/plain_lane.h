// The plain-packet lane of a job whose analysis is wanted: a packet the
// packet loop may take in its tight loop (AnalysePlainPacket) that the
// analysis has nothing to learn from either. It carries payload, neither
// starts a unit nor carries a PCR (the analysis reads those), and continues
// its PID's counter under the MPEG-2 systems rule as well; all the analysis
// keeps of it is the PID's counter, its count and where the packet lies (a
// later copy is compared with it). A PCR PID, which the default rule leaves
// alone, is held to the systems rule here too.
#pragma once

#include <cstdint>

#include "analysis/job_analysis.h"
#include "ts/plain_packet.h"

namespace kestrun {

[[gnu::always_inline]] inline bool AnalysePlainPacketWatched(const std::uint8_t* packet, TsContext& context,
                                                           JobAnalysis& analysis) {
  using namespace packet_header;
  constexpr std::uint8_t kUnitStart = 0x40;
  constexpr std::uint8_t kPayloadBit = kPayloadPresent << 4;
  constexpr std::uint8_t kAdaptationBit = kAdaptationPresent << 4;
  const std::uint8_t control = packet[3];
  if ((packet[1] & kUnitStart) != 0 || (control & kPayloadBit) == 0) return false;
  if ((control & kAdaptationBit) != 0 && packet[kAdaptationLengthOffset] != 0 &&
      (packet[kAdaptationFlagsOffset] & kPcrFlagBit) != 0) {
    return false;
  }
  const auto pid = static_cast<std::uint16_t>((packet[1] & 0x1F) << 8 | packet[2]);
  PidWatch* watch = analysis.watchIndex[pid];
  const auto cc = static_cast<std::uint8_t>(control & 0x0F);
  if (watch == nullptr || cc != watch->expectedCc) return false;
  if (!AnalysePlainPacket(packet, context)) return false;
  watch->expectedCc = static_cast<std::uint8_t>((cc + 1) & 0x0F);
  watch->reference = packet;
  ++watch->checked;
  return true;
}

}  // namespace kestrun
