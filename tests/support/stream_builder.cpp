#include "support/stream_builder.h"

namespace kestrun::testing {

std::string Packet(std::uint16_t pid, std::uint8_t cc, bool unitStart) {
  std::string packet(188, '\xFF');
  packet[0] = 0x47;
  packet[1] = static_cast<char>((unitStart ? 0x40 : 0x00) | ((pid >> 8) & 0x1F));
  packet[2] = static_cast<char>(pid & 0xFF);
  packet[3] = static_cast<char>(0x10 | (cc & 0x0F));
  return packet;
}

std::string PacketsWithCc(std::uint16_t pid, const std::vector<int>& counters) {
  std::string stream;
  for (int cc : counters) stream += Packet(pid, static_cast<std::uint8_t>(cc));
  return stream;
}

std::string CleanPackets(std::uint16_t pid, int count) {
  std::string stream;
  for (int i = 0; i < count; ++i) stream += Packet(pid, static_cast<std::uint8_t>(i & 0x0F));
  return stream;
}

}  // namespace kestrun::testing
