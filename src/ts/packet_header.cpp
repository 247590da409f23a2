#include "ts/packet_header.h"

namespace kestrun {
namespace {

// A unit-start packet that is not PES starts a PSI section: the byte at the
// payload start is the pointer_field, and the section begins that many bytes
// after it. A section start past the packet leaves no section.
std::uint8_t SectionStart(const PacketView& packet, std::size_t payloadStart) {
  const std::size_t pointerField = packet.Byte(payloadStart);
  return packet_header::ClampToPacket(payloadStart + 1 + pointerField);
}

}  // namespace

void DecodeUnitStart(const PacketView& packet, std::size_t payloadStart, PidState& state) {
  state.hasPes = false;
  // An adaptation field reaching the end of the packet, or beyond it,
  // leaves no payload to decode.
  if (payloadStart >= kTsPacketSize) {
    state.headerLength = static_cast<std::uint8_t>(kTsPacketSize);
  } else if (StartsPes(packet, payloadStart)) {
    state.headerLength = static_cast<std::uint8_t>(payloadStart);
    DecodePesHeader(packet, payloadStart, state.pes);
    state.hasPes = true;
  } else {
    state.headerLength = SectionStart(packet, payloadStart);
  }
}

}  // namespace kestrun
