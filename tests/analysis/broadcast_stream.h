// A broadcast-shaped stream built moment by moment (one every 20 ms): a PCR
// on its own PID at every moment, PAT and PMT every 100 ms, CAT and TOT every
// second, video and audio PES headers with a PTS every 40 ms, a private PES
// header with a PTS every 200 ms, and video payload filling each moment (20
// packets). A test leaves pieces out or alters them at
// chosen moments to make one fault.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ts/ts_test_packets.h"

namespace kestrun::analysis_test {

inline constexpr std::uint16_t kBroadcastPmtPid = 0x01F0;
inline constexpr std::uint16_t kBroadcastPcrPid = 0x01FF;
inline constexpr std::uint16_t kBroadcastVideoPid = 0x0111;
inline constexpr std::uint16_t kBroadcastAudioPid = 0x0112;
inline constexpr std::uint16_t kBroadcastDataPid = 0x0113;  // private PES, not timed
inline constexpr std::uint64_t kTicksPerMoment = 1800;  // 20 ms

enum class Piece { Pcr, Pat, Pmt, Cat, Tot, VideoStart, Video, AudioStart, DataStart };

// Called for every packet before it is written: may change it, and returns
// false to leave it out (its PID's counter moves on all the same).
using AlterPacket = std::function<bool(Piece piece, int moment, ts_test::Packet& packet)>;
// Bytes written after the last packet of a moment.
using AfterMoment = std::function<std::string(int moment)>;

std::string BuildBroadcast(int moments, const AlterPacket& alter = {}, const AfterMoment& after = {});

// The PCR a moment carries (and the PTS its PES headers carry).
std::uint64_t BroadcastPcr(int moment);

// Rewrites the PCR of an adaptation field in place.
void SetPcr(ts_test::Packet& packet, std::uint64_t pcr);

}  // namespace kestrun::analysis_test
