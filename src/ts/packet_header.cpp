#include "ts/packet_header.h"

#include "ts/clock.h"

namespace kestrun {
namespace {

// A unit-start packet that is not PES starts a PSI section: the byte at the
// payload start is the pointer_field, and the section begins that many bytes
// after it. A section start past the packet leaves no section.
std::uint8_t SectionStart(const PacketView& packet, std::size_t payloadStart) {
  const std::size_t pointerField = packet.Byte(payloadStart);
  return packet_header::ClampToPacket(payloadStart + 1 + pointerField);
}

// The clocks a PES header's time stamps feed: PTS with flags 2 or 3, DTS
// with 3, and neither when the header has no optional part.
std::uint8_t ClockFeedsOf(const PesHeaderInfo& pes) {
  constexpr std::uint8_t kPtsOnly = 2;
  constexpr std::uint8_t kPtsAndDts = 3;
  if (!clock_feed::CarriesTimestamps(pes)) return 0;
  if (pes.ptsDtsFlags == kPtsOnly) return kFeedsPts;
  if (pes.ptsDtsFlags == kPtsAndDts) return kFeedsPts | kFeedsDts;
  return 0;
}

}  // namespace

void DecodeUnitStart(const PacketView& packet, std::size_t payloadStart, PidState& state) {
  state.hasPes = false;
  state.clockFeeds = 0;
  // An adaptation field reaching the end of the packet, or beyond it,
  // leaves no payload to decode.
  if (payloadStart >= kTsPacketSize) {
    state.headerLength = static_cast<std::uint8_t>(kTsPacketSize);
  } else if (StartsPes(packet, payloadStart)) {
    state.headerLength = static_cast<std::uint8_t>(payloadStart);
    DecodePesHeader(packet, payloadStart, state.pes);
    state.hasPes = true;
    state.clockFeeds = ClockFeedsOf(state.pes);
  } else {
    state.headerLength = SectionStart(packet, payloadStart);
  }
}

}  // namespace kestrun
