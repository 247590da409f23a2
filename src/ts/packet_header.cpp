#include "ts/packet_header.h"

#include <algorithm>

namespace kestrun {
namespace {

constexpr std::size_t kAdaptationLengthOffset = 4;
constexpr std::size_t kAdaptationFlagsOffset = 5;
constexpr std::size_t kPcrOffset = 6;
constexpr std::uint8_t kPcrFlagBit = 0x10;

// program_clock_reference_base: 32 bits of bytes 6..9 and the top bit of
// byte 10. The 9-bit extension is not used.
std::uint64_t ReadPcrBase(const PacketView& packet) {
  return static_cast<std::uint64_t>(packet.Quad(kPcrOffset)) << 1 |
         static_cast<std::uint64_t>(packet.Byte(kPcrOffset + 4) >> 7);
}

void DecodeAdaptationField(const PacketView& packet, AdaptationFieldInfo& adaptation) {
  adaptation = AdaptationFieldInfo{};
  adaptation.length = packet.Byte(kAdaptationLengthOffset);
  if (adaptation.length == 0) return;
  adaptation.pcrFlag = (packet.Byte(kAdaptationFlagsOffset) & kPcrFlagBit) != 0;
  if (adaptation.pcrFlag) adaptation.pcrBase = ReadPcrBase(packet);
}

std::uint8_t ClampToPacket(std::size_t offset) {
  return static_cast<std::uint8_t>(std::min(offset, kTsPacketSize));
}

// A unit-start packet that is not PES starts a PSI section: the byte at the
// payload start is the pointer_field, and the section begins that many bytes
// after it. A section start past the packet leaves no section.
std::uint8_t SectionStart(const PacketView& packet, std::size_t payloadStart) {
  const std::size_t pointerField = packet.Byte(payloadStart);
  return ClampToPacket(payloadStart + 1 + pointerField);
}

}  // namespace

void DecodePacketHeader(const PacketView& packet, PidState& state) {
  state.unitStart = packet.UnitStart();
  state.adaptationControl = packet.AdaptationControl();
  state.cc = packet.ContinuityCounter();

  std::size_t payloadStart = kAdaptationLengthOffset;
  state.hasAdaptation = (state.adaptationControl & kAdaptationPresent) != 0;
  if (state.hasAdaptation) {
    DecodeAdaptationField(packet, state.adaptation);
    payloadStart = kAdaptationFlagsOffset + state.adaptation.length;
  }
  // An adaptation field reaching the end of the packet, or beyond it,
  // leaves no payload to decode.
  const bool payloadInPacket = payloadStart < kTsPacketSize;

  if (!state.unitStart) {
    state.headerLength = ClampToPacket(payloadStart);
  } else {
    state.hasPes = false;
    if (!payloadInPacket) {
      state.headerLength = static_cast<std::uint8_t>(kTsPacketSize);
    } else if (StartsPes(packet, payloadStart)) {
      state.headerLength = static_cast<std::uint8_t>(payloadStart);
      DecodePesHeader(packet, payloadStart, state.pes);
      state.hasPes = true;
    } else {
      state.headerLength = SectionStart(packet, payloadStart);
    }
  }
  state.parsed = true;
}

}  // namespace kestrun
