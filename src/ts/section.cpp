#include "ts/section.h"

#include <algorithm>
#include <array>
#include <new>

#include "ts/packet.h"
#include "ts/packet_header.h"

namespace kestrun {
namespace {

constexpr std::size_t kMinSectionStart = 4;  // after the 4-byte packet header
constexpr std::size_t kSectionHeaderSize = 3;  // table_id and section_length
constexpr std::size_t kCrcSize = 4;

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 24;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

// Appends what the packet holds of the `wanted` bytes from offset `start`,
// at most `available` of them, and leaves the rest in sectionRemaining.
// False when the buffer cannot grow.
bool AppendFromPacket(const PacketView& packet, std::size_t start, std::size_t wanted,
                      PidState& state, std::size_t available = kTsPacketSize) {
  const std::size_t count = std::min({wanted, available, PacketView::Remaining(start)});
  std::vector<std::uint8_t>& data = state.section.data;
  try {
    if (data.size() + count > data.capacity()) data.reserve(data.size() + count + kSectionReserve);
    if (count > 0) data.insert(data.end(), packet.data() + start, packet.data() + start + count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  state.sectionRemaining = static_cast<std::uint16_t>(wanted - count);
  return true;
}

bool HasPayload(const PidState& state) {
  return (state.adaptationControl & kPayloadPresent) != 0;
}

// The first packet of a section: table_id and section_length must be in it.
bool StartSection(const PacketView& packet, PidState& state, std::uint8_t expectedTableId) {
  const std::size_t start = state.headerLength;
  if (start < kMinSectionStart || !HasPayload(state) ||
      !PacketView::Fits(start, kSectionHeaderSize) || packet.Byte(start) != expectedTableId) {
    return false;
  }
  const std::size_t total =
      SectionLengthField(packet.Byte(start + 1), packet.Byte(start + 2)) + kSectionHeaderSize;
  return AppendFromPacket(packet, start, total, state);
}

// A later packet continues the section only when nothing was lost between.
bool ContinueSection(const PacketView& packet, PidState& state) {
  if (state.dropFlag || !HasPayload(state) || state.sectionRemaining == 0) return false;
  return AppendFromPacket(packet, state.headerLength, state.sectionRemaining, state);
}

// The first payload byte of a unit-start packet is its pointer_field; the
// bytes between it and the new section belong to the section before.
std::size_t TailStart(const PidState& state) {
  const std::size_t payloadStart =
      state.hasAdaptation ? packet_header::kAdaptationFlagsOffset + state.adaptation.length
                          : packet_header::kAdaptationLengthOffset;
  return payloadStart + 1;
}

bool CrcMatches(const SectionBuffer& section) {
  const std::vector<std::uint8_t>& data = section.data;
  if (data.size() < kCrcSize) return false;
  const std::size_t body = data.size() - kCrcSize;
  const std::uint32_t stored = static_cast<std::uint32_t>(data[body]) << 24 |
                               static_cast<std::uint32_t>(data[body + 1]) << 16 |
                               static_cast<std::uint32_t>(data[body + 2]) << 8 | data[body + 3];
  return Crc32Mpeg2(data.data(), body) == stored;
}

}  // namespace

void DiscardSection(PidState& state) {
  state.section.data.clear();
  state.sectionRemaining = 0;
}

bool CompleteSectionTail(const std::uint8_t* packet, PidState& state) {
  if (!state.unitStart || state.sectionRemaining == 0) return false;
  const std::size_t start = TailStart(state);
  if (state.dropFlag || !HasPayload(state) || start >= state.headerLength) return false;
  if (!AppendFromPacket(PacketView(packet), start, state.sectionRemaining, state,
                        state.headerLength - start) ||
      state.sectionRemaining > 0) {
    DiscardSection(state);
    return false;
  }
  if (!CrcMatches(state.section)) {
    ++state.section.crcFailures;
    DiscardSection(state);
    return false;
  }
  return true;
}

SectionResult AppendSectionBytes(const std::uint8_t* packet, PidState& state,
                                 std::uint8_t expectedTableId) {
  const PacketView view(packet);
  bool appended;
  if (state.unitStart) {
    DiscardSection(state);
    appended = StartSection(view, state, expectedTableId);
  } else {
    appended = ContinueSection(view, state);
  }
  if (!appended) {
    DiscardSection(state);
    return SectionResult::Rejected;
  }
  if (state.sectionRemaining > 0) return SectionResult::Incomplete;
  if (!CrcMatches(state.section)) {
    ++state.section.crcFailures;
    DiscardSection(state);
    return SectionResult::Rejected;
  }
  return SectionResult::Complete;
}

std::uint32_t Crc32Mpeg2(const std::uint8_t* bytes, std::size_t count) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < count; ++i) {
    crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ bytes[i]) & 0xFF];
  }
  return crc;
}

}  // namespace kestrun
