// Laying out single transport stream packets and PES headers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrun::tsgen {

using PacketBytes = std::array<std::uint8_t, 188>;

struct PacketHead {
  std::uint16_t pid = 0;
  bool unitStart = false;
  std::uint8_t cc = 0;
};

// Writes one packet: header, an adaptation field when a PCR is given or the
// payload is shorter than the room (stuffing), then as much of `payload` as
// fits. `pcr27` is the 27 MHz PCR value (base * 300 + extension). Without
// payload the packet is adaptation-only. Returns the payload bytes taken.
std::size_t LayOutPacket(std::uint8_t* packet, const PacketHead& head,
                         std::optional<std::uint64_t> pcr27,
                         const std::uint8_t* payload, std::size_t available);

// Sets the continuity counter of a laid-out packet.
inline void SetCc(std::uint8_t* packet, std::uint8_t cc) {
  packet[3] = static_cast<std::uint8_t>((packet[3] & 0xF0) | (cc & 0x0F));
}
inline bool HasPayload(const std::uint8_t* packet) { return (packet[3] & 0x10) != 0; }
inline std::uint16_t PidOf(const std::uint8_t* packet) {
  return static_cast<std::uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
}

// A null packet (PID 0x1FFF) with 0xFF payload.
PacketBytes NullPacket(std::uint8_t cc);

// A 33-bit time stamp in the five-byte PES form with its 4-bit prefix.
void PutTimestamp(std::uint8_t* out, std::uint8_t prefix, std::uint64_t ticks);

// PES header with PTS (and DTS when given), then `payloadLength` bytes of
// filler content that never holds 0x47. PES_packet_length is 0 when the
// packet is too long for it (video).
std::vector<std::uint8_t> BuildPes(std::uint8_t streamId, std::size_t payloadLength,
                                   std::uint64_t pts, std::optional<std::uint64_t> dts,
                                   std::uint64_t contentSeed);

// Cuts a section into packets: pointer_field `fillerBytes` followed by as
// many 0xFF filler bytes, then the section; 0xFF after the section's end.
// With `split` the first packet carries only about half of the section (the
// rest of it is adaptation stuffing) and the remainder goes into a second.
// Continuity counters are left 0.
std::vector<PacketBytes> PacketizeSection(std::uint16_t pid,
                                          const std::vector<std::uint8_t>& section,
                                          std::uint32_t fillerBytes, bool split);

}  // namespace kestrun::tsgen
