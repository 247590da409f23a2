// What the analysis keeps of one PID: its continuity state under the MPEG-2
// systems rule, the packet a copy would be compared with, and what the
// stream-error indicators follow on it.
#pragma once

#include <array>
#include <cstdint>

#include "analysis/events.h"
#include "ts/packet.h"

namespace kestrun {

// No counter expected yet: the next packet with payload starts the check.
inline constexpr std::uint8_t kNoExpectedCc = 0x10;
// A mark that no count of checked packets equals.
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

  // Kept up by the plain-packet lane for every packet it takes, and by the
  // full steps for the others.
  std::uint8_t expectedCc = kNoExpectedCc;  // the counter of the next packet with payload
  // The PID's last packet with payload: in the reader's held data, or in
  // `kept` once the held data is about to be replaced.
  const std::uint8_t* reference = nullptr;
  std::uint64_t checked = 0;  // packets with payload (the rule looks at these)

  // The full steps only.
  std::uint64_t unchecked = 0;  // packets without payload (the rule passes them by)
  std::uint64_t errors = 0;     // continuity errors (never on the null PID)
  // `checked` when the reference was last copied once (a further copy is an
  // error) and when a packet without payload last followed it.
  std::uint64_t copiedMark = kNoMark;
  std::uint64_t noPayloadMark = kNoMark;
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
  std::uint64_t packetsAtLook = 0;   // checked + unchecked at the last look
  bool listedPmt = false;            // a PMT PID of the PAT
  std::uint32_t pmtRound = 0;
  RecurrenceTimer pmtArrivals;       // PMT sections (PMT error)
  std::uint32_t crcFailuresSeen = 0;  // of the PID's sections, counted so far

  std::uint64_t Packets() const { return checked + unchecked; }

  bool operator==(const PidWatch&) const = default;
};

}  // namespace kestrun
