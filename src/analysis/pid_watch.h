// What the analysis keeps of one PID beside what the PID's record holds for
// it (PidState::nextCc, payloadPackets, lastPayloadPacket, kept up for every
// packet): its continuity errors, what a copy of its last packet is judged
// by, and what the stream-error indicators follow on it. The full steps
// only.
#pragma once

#include <array>
#include <cstdint>

#include "analysis/events.h"
#include "ts/packet.h"

namespace kestrun {

// A mark that no count of packets with payload equals.
inline constexpr std::uint64_t kNoMark = ~std::uint64_t{0};

// An indicator that something recurs often enough: it fires once when the
// thing is overdue (found at its next arrival or by a look in between) and
// then waits for the next arrival.
struct RecurrenceTimer {
  bool running = false;
  bool overdue = false;
  std::uint64_t last = 0;  // stream ticks of the last arrival (or of the start)

  bool operator==(const RecurrenceTimer&) const = default;
};

struct PidWatch {
  std::uint16_t pid = 0;

  std::uint64_t noPayloadPackets = 0;  // the systems rule passes them by
  std::uint64_t errors = 0;            // continuity errors (never on the null PID)
  // PidState::payloadPackets when the last packet with payload was copied
  // once (a further copy is an error), and when a packet without payload
  // last followed it.
  std::uint64_t copiedMark = kNoMark;
  std::uint64_t noPayloadMark = kNoMark;
  // The PID's last packet with payload, copied here when the reader is
  // about to replace the data it lies in (PidState::lastPayloadPacket then
  // points here).
  std::array<std::uint8_t, kTsPacketSize> kept{};

  // Stream-error indicators.
  bool hasPcr = false;
  std::uint64_t lastPcr = 0;     // 33-bit PCR base
  bool hasPts = false;
  std::uint64_t lastPtsArrival = 0;  // stream ticks
  // A video or audio stream a PMT lists: its PES time stamps and its packets
  // must keep coming.
  bool listedStream = false;
  std::uint32_t streamRound = 0;
  RecurrenceTimer presence;          // its packets (PID error)
  std::uint64_t packetsAtLook = 0;   // its packets at the last look
  bool listedPmt = false;            // a PMT PID of the PAT
  std::uint32_t pmtRound = 0;
  RecurrenceTimer pmtArrivals;       // PMT sections (PMT error)
  std::uint32_t crcFailuresSeen = 0;  // of the PID's sections, counted so far

  bool operator==(const PidWatch&) const = default;
};

}  // namespace kestrun
