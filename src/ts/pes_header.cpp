#include "ts/packet_header.h"

namespace kestrun {
namespace {

constexpr std::uint32_t kPesStartCode = 0x000001;
constexpr std::size_t kStreamIdOffset = 3;
constexpr std::size_t kFlagsOffset = 7;  // PTS_DTS_flags in bits 7..6
constexpr std::size_t kPtsOffset = 9;
constexpr std::size_t kDtsOffset = 14;
constexpr std::size_t kTimestampSize = 5;
constexpr std::uint8_t kPtsBit = 0x02;
constexpr std::uint8_t kDtsBit = 0x01;

// stream_ids whose PES packets carry no optional header: program_stream_map,
// padding, private_stream_2, ECM, EMM, DSMCC, H.222.1 type E, directory.
bool HasOptionalHeader(std::uint8_t streamId) {
  switch (streamId) {
    case 0xBC: case 0xBE: case 0xBF: case 0xF0:
    case 0xF1: case 0xF2: case 0xF8: case 0xFF:
      return false;
    default:
      return true;
  }
}

// The 33-bit time stamp spread over five bytes with marker bits.
std::uint64_t ReadTimestamp(const PacketView& packet, std::size_t offset) {
  const std::uint64_t b0 = packet.Byte(offset);
  const std::uint64_t b1 = packet.Byte(offset + 1);
  const std::uint64_t b2 = packet.Byte(offset + 2);
  const std::uint64_t b3 = packet.Byte(offset + 3);
  const std::uint64_t b4 = packet.Byte(offset + 4);
  return ((b0 >> 1) & 0x07) << 30 | b1 << 22 | (b2 >> 1) << 15 | b3 << 7 | b4 >> 1;
}

}  // namespace

bool StartsPes(const PacketView& packet, std::size_t offset) {
  return PacketView::Fits(offset, 3) && packet.Triple(offset) == kPesStartCode;
}

void DecodePesHeader(const PacketView& packet, std::size_t offset, PesHeaderInfo& pes) {
  pes = PesHeaderInfo{};
  pes.startCodePrefix = packet.Triple(offset);
  pes.streamId = packet.Byte(offset + kStreamIdOffset);
  if (!HasOptionalHeader(pes.streamId)) return;
  pes.hasOptionalHeader = true;

  // A time stamp cut off by the end of the packet is not read, and its flag
  // is dropped so no clock is fed a value the stream did not carry.
  std::uint8_t flags = packet.Byte(offset + kFlagsOffset) >> 6;
  if ((flags & kPtsBit) != 0) {
    if (PacketView::Fits(offset + kPtsOffset, kTimestampSize)) {
      pes.pts = ReadTimestamp(packet, offset + kPtsOffset);
    } else {
      flags = 0;
    }
  }
  if (flags == (kPtsBit | kDtsBit)) {
    if (PacketView::Fits(offset + kDtsOffset, kTimestampSize)) {
      pes.dts = ReadTimestamp(packet, offset + kDtsOffset);
    } else {
      flags = kPtsBit;
    }
  }
  pes.ptsDtsFlags = flags;
}

}  // namespace kestrun
