// Decoding of the packet header, the adaptation field and the PES header
// into a PID's record. The header decode runs for every packet, so it is
// defined here where the packet loop can inline it; what only the first
// packet of a PES packet or section needs is decoded out of line.
#pragma once

#include <algorithm>
#include <cstddef>

#include "ts/packet.h"
#include "ts/pid_state.h"

namespace kestrun {

// True when the three bytes at `offset` are the PES start code 00 00 01.
bool StartsPes(const PacketView& packet, std::size_t offset);

// Decodes the PES header whose start code stands at `offset`; fields that
// would lie past the end of the packet stay 0.
void DecodePesHeader(const PacketView& packet, std::size_t offset, PesHeaderInfo& pes);

namespace packet_header {

inline constexpr std::size_t kAdaptationLengthOffset = 4;
inline constexpr std::size_t kAdaptationFlagsOffset = 5;
inline constexpr std::size_t kPcrOffset = 6;
inline constexpr std::uint8_t kPcrFlagBit = 0x10;

// program_clock_reference_base: 32 bits of bytes 6..9 and the top bit of
// byte 10. The 9-bit extension is not used.
inline std::uint64_t ReadPcrBase(const PacketView& packet) {
  return static_cast<std::uint64_t>(packet.Quad(kPcrOffset)) << 1 |
         static_cast<std::uint64_t>(packet.Byte(kPcrOffset + 4) >> 7);
}

inline void DecodeAdaptationField(const PacketView& packet, AdaptationFieldInfo& adaptation) {
  adaptation = AdaptationFieldInfo{};
  adaptation.length = packet.Byte(kAdaptationLengthOffset);
  if (adaptation.length == 0) return;
  adaptation.pcrFlag = (packet.Byte(kAdaptationFlagsOffset) & kPcrFlagBit) != 0;
  if (adaptation.pcrFlag) adaptation.pcrBase = ReadPcrBase(packet);
}

inline std::uint8_t ClampToPacket(std::size_t offset) {
  return static_cast<std::uint8_t>(std::min(offset, kTsPacketSize));
}

}  // namespace packet_header

// The header length and the PES header of a packet that starts a PES packet
// or a section, whose payload begins at `payloadStart`.
void DecodeUnitStart(const PacketView& packet, std::size_t payloadStart, PidState& state);

// Fills the per-packet fields of `state` from the packet and sets `parsed`.
// Every undamaged packet passes here once, so its scrambling is counted here.
inline void DecodePacketHeader(const PacketView& packet, PidState& state) {
  using namespace packet_header;
  state.scrambledCount += packet.Scrambled() ? 1 : 0;
  state.unitStart = packet.UnitStart();
  state.adaptationControl = packet.AdaptationControl();
  state.cc = packet.ContinuityCounter();

  std::size_t payloadStart = kAdaptationLengthOffset;
  state.hasAdaptation = (state.adaptationControl & kAdaptationPresent) != 0;
  if (state.hasAdaptation) {
    DecodeAdaptationField(packet, state.adaptation);
    payloadStart = kAdaptationFlagsOffset + state.adaptation.length;
  }
  if (state.unitStart) {
    DecodeUnitStart(packet, payloadStart, state);
  } else {
    state.headerLength = ClampToPacket(payloadStart);
  }
  state.parsed = true;
}

}  // namespace kestrun
