// A read-only view of one 188-byte transport stream packet. Every read is
// bounded by the packet: a byte or field beyond byte 187 reads as 0, so the
// decoders never step outside the packet whatever lengths the stream claims.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrun {

inline constexpr std::size_t kTsPacketSize = 188;
inline constexpr std::uint8_t kSyncByte = 0x47;
inline constexpr std::size_t kPidCount = 0x2000;  // 13-bit PIDs

class PacketView {
 public:
  explicit PacketView(const std::uint8_t* bytes) : bytes_(bytes) {}

  const std::uint8_t* data() const { return bytes_; }

  std::uint8_t Byte(std::size_t offset) const {
    return offset < kTsPacketSize ? bytes_[offset] : 0;
  }

  // True when `count` bytes starting at `offset` all lie inside the packet.
  static constexpr bool Fits(std::size_t offset, std::size_t count) {
    return offset <= kTsPacketSize && count <= kTsPacketSize - offset;
  }

  // Bytes from `offset` to the end of the packet (0 past the end).
  static constexpr std::size_t Remaining(std::size_t offset) {
    return offset < kTsPacketSize ? kTsPacketSize - offset : 0;
  }

  std::uint16_t Word(std::size_t offset) const {
    return static_cast<std::uint16_t>(Byte(offset) << 8 | Byte(offset + 1));
  }

  std::uint32_t Triple(std::size_t offset) const {
    return static_cast<std::uint32_t>(Byte(offset)) << 16 |
           static_cast<std::uint32_t>(Byte(offset + 1)) << 8 | Byte(offset + 2);
  }

  std::uint32_t Quad(std::size_t offset) const {
    return static_cast<std::uint32_t>(Word(offset)) << 16 | Word(offset + 2);
  }

  // Header fields (byte 0 is the sync byte).
  bool TransportError() const { return (bytes_[1] & 0x80) != 0; }
  bool UnitStart() const { return (bytes_[1] & 0x40) != 0; }
  std::uint16_t Pid() const {
    return static_cast<std::uint16_t>((bytes_[1] & 0x1F) << 8 | bytes_[2]);
  }
  bool Scrambled() const { return (bytes_[3] & 0xC0) != 0; }  // transport_scrambling_control
  std::uint8_t AdaptationControl() const { return (bytes_[3] >> 4) & 0x03; }
  std::uint8_t ContinuityCounter() const { return bytes_[3] & 0x0F; }

 private:
  const std::uint8_t* bytes_;
};

// adaptation_field_control bits.
inline constexpr std::uint8_t kAdaptationPresent = 0x02;
inline constexpr std::uint8_t kPayloadPresent = 0x01;

}  // namespace kestrun
