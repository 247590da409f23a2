// Small hand-made transport streams for tests that need exact control over
// every packet (the generator in tools/tsgen makes realistic ones).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::testing {

// One 188-byte packet: payload only, the given PID and continuity counter,
// filled with 0xFF after the header.
std::string Packet(std::uint16_t pid, std::uint8_t cc, bool unitStart = false);

// Packets of one PID with the given continuity counters in turn.
std::string PacketsWithCc(std::uint16_t pid, const std::vector<int>& counters);

// `count` packets of one PID with counters 0, 1, 2, ... (mod 16).
std::string CleanPackets(std::uint16_t pid, int count);

}  // namespace kestrun::testing
