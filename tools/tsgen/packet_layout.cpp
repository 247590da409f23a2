#include "tsgen/packet_layout.h"

#include <algorithm>
#include <cstring>

namespace kestrun::tsgen {
namespace {

constexpr std::size_t kRoom = 184;  // bytes behind the 4-byte header
constexpr std::size_t kPcrFieldBytes = 7;  // flags byte + 6 PCR bytes

void PutPcr(std::uint8_t* out, std::uint64_t pcr27) {
  const std::uint64_t base = (pcr27 / 300) % (1ULL << 33);
  const std::uint32_t ext = static_cast<std::uint32_t>(pcr27 % 300);
  out[0] = static_cast<std::uint8_t>(base >> 25);
  out[1] = static_cast<std::uint8_t>(base >> 17);
  out[2] = static_cast<std::uint8_t>(base >> 9);
  out[3] = static_cast<std::uint8_t>(base >> 1);
  out[4] = static_cast<std::uint8_t>(((base & 1) << 7) | 0x7E | (ext >> 8));
  out[5] = static_cast<std::uint8_t>(ext);
}

// Content bytes for PES payloads: a fixed pseudo-random run without 0x47,
// so that no false sync byte follows garbage or a 192-byte prefix.
const std::array<std::uint8_t, 4096>& ContentPattern() {
  static const std::array<std::uint8_t, 4096> pattern = [] {
    std::array<std::uint8_t, 4096> bytes{};
    std::uint32_t x = 0x9E3779B9u;
    for (auto& b : bytes) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      b = static_cast<std::uint8_t>(x >> 24);
      if (b == 0x47) b = 0x46;
    }
    return bytes;
  }();
  return pattern;
}

}  // namespace

std::size_t LayOutPacket(std::uint8_t* packet, const PacketHead& head,
                         std::optional<std::uint64_t> pcr27,
                         const std::uint8_t* payload, std::size_t available) {
  const std::size_t pcrBytes = pcr27 ? kPcrFieldBytes : 0;
  const bool withAdaptation = pcr27.has_value() || available < kRoom;
  const std::size_t room = withAdaptation ? kRoom - 1 - pcrBytes : kRoom;
  const std::size_t taken = std::min(available, room);
  const std::size_t stuffing = room - taken;
  const std::uint8_t control = withAdaptation ? (taken > 0 ? 0x30 : 0x20) : 0x10;

  packet[0] = 0x47;
  packet[1] = static_cast<std::uint8_t>((head.unitStart ? 0x40 : 0x00) | ((head.pid >> 8) & 0x1F));
  packet[2] = static_cast<std::uint8_t>(head.pid);
  packet[3] = static_cast<std::uint8_t>(control | (head.cc & 0x0F));
  std::size_t at = 4;
  if (withAdaptation) {
    const std::size_t length = pcrBytes + stuffing;
    packet[at++] = static_cast<std::uint8_t>(length);
    if (length > 0) {
      packet[at++] = pcr27 ? 0x10 : 0x00;  // only PCR_flag is ever set
      if (pcr27) {
        PutPcr(packet + at, *pcr27);
        at += 6;
      }
      const std::size_t fill = length - 1 - (pcr27 ? 6 : 0);
      std::memset(packet + at, 0xFF, fill);
      at += fill;
    }
  }
  if (taken > 0) std::memcpy(packet + at, payload, taken);
  return taken;
}

PacketBytes NullPacket(std::uint8_t cc) {
  PacketBytes packet;
  packet.fill(0xFF);
  packet[0] = 0x47;
  packet[1] = 0x1F;
  packet[2] = 0xFF;
  packet[3] = static_cast<std::uint8_t>(0x10 | (cc & 0x0F));
  return packet;
}

void PutTimestamp(std::uint8_t* out, std::uint8_t prefix, std::uint64_t ticks) {
  ticks %= 1ULL << 33;
  out[0] = static_cast<std::uint8_t>((prefix << 4) | ((ticks >> 29) & 0x0E) | 1);
  out[1] = static_cast<std::uint8_t>(ticks >> 22);
  out[2] = static_cast<std::uint8_t>(((ticks >> 14) & 0xFE) | 1);
  out[3] = static_cast<std::uint8_t>(ticks >> 7);
  out[4] = static_cast<std::uint8_t>(((ticks << 1) & 0xFE) | 1);
}

std::vector<std::uint8_t> BuildPes(std::uint8_t streamId, std::size_t payloadLength,
                                   std::uint64_t pts, std::optional<std::uint64_t> dts,
                                   std::uint64_t contentSeed) {
  const std::size_t headerData = dts ? 10 : 5;
  const std::size_t afterLength = 3 + headerData + payloadLength;
  const std::size_t packetLength = afterLength > 0xFFFF ? 0 : afterLength;
  std::vector<std::uint8_t> pes;
  pes.reserve(6 + afterLength);
  pes.insert(pes.end(), {0x00, 0x00, 0x01, streamId,
                         static_cast<std::uint8_t>(packetLength >> 8),
                         static_cast<std::uint8_t>(packetLength),
                         0x80,  // marker bits '10', no scrambling
                         static_cast<std::uint8_t>(dts ? 0xC0 : 0x80),
                         static_cast<std::uint8_t>(headerData)});
  std::uint8_t stamp[5];
  PutTimestamp(stamp, dts ? 0x3 : 0x2, pts);
  pes.insert(pes.end(), stamp, stamp + 5);
  if (dts) {
    PutTimestamp(stamp, 0x1, *dts);
    pes.insert(pes.end(), stamp, stamp + 5);
  }
  const auto& pattern = ContentPattern();
  std::size_t from = static_cast<std::size_t>(contentSeed * 977) % pattern.size();
  while (payloadLength > 0) {
    const std::size_t n = std::min(payloadLength, pattern.size() - from);
    pes.insert(pes.end(), pattern.begin() + static_cast<std::ptrdiff_t>(from),
               pattern.begin() + static_cast<std::ptrdiff_t>(from + n));
    payloadLength -= n;
    from = 0;
  }
  return pes;
}

std::vector<PacketBytes> PacketizeSection(std::uint16_t pid,
                                          const std::vector<std::uint8_t>& section,
                                          std::uint32_t fillerBytes, bool split) {
  std::vector<std::uint8_t> payload;
  payload.reserve(1 + fillerBytes + section.size() + kRoom);
  payload.push_back(static_cast<std::uint8_t>(fillerBytes));
  payload.insert(payload.end(), fillerBytes, 0xFF);
  payload.insert(payload.end(), section.begin(), section.end());

  std::vector<PacketBytes> packets;
  std::size_t at = 0;
  if (split && section.size() >= 2 && payload.size() <= kRoom) {
    PacketBytes first;
    const std::size_t firstPart = 1 + fillerBytes + section.size() / 2;
    at = LayOutPacket(first.data(), {pid, true, 0}, std::nullopt, payload.data(), firstPart);
    packets.push_back(first);
  }
  // PSI packets end with 0xFF after the section rather than with stuffing.
  const std::size_t rest = payload.size() - at;
  payload.insert(payload.end(), (kRoom - rest % kRoom) % kRoom, 0xFF);
  while (at < payload.size()) {
    PacketBytes packet;
    at += LayOutPacket(packet.data(), {pid, at == 0, 0}, std::nullopt,
                       payload.data() + at, payload.size() - at);
    packets.push_back(packet);
  }
  return packets;
}

}  // namespace kestrun::tsgen
