// The MPEG-2 systems continuity rule, beside the default one, and what kind
// of break a drop of the default rule is.
//
// The systems rule: the null PID is not checked; a packet without payload
// is not checked and leaves the expectation as it was (its counter does not
// advance); a packet repeated once with the same bytes (the PCR aside) is
// allowed; a discontinuity_indicator starts the count afresh; a damaged
// packet (transport_error_indicator) is not checked and changes nothing;
// PCR PIDs are checked like any other.
#pragma once

#include <cstdint>

#include "analysis/events.h"
#include "analysis/pid_watch.h"
#include "ts/packet.h"
#include "ts/pid_state.h"

namespace kestrun {

inline constexpr std::uint16_t kNullPacketPid = 0x1FFF;

// What the continuity rules look at in a packet's header.
struct CounterFacts {
  std::uint16_t pid = 0;
  std::uint8_t cc = 0;
  bool payload = false;
  bool discontinuity = false;  // discontinuity_indicator
  bool pcr = false;            // a PCR in the adaptation field
};

CounterFacts ReadCounterFacts(const std::uint8_t* packet);

// True when the two packets are the same bytes, the PCR field aside.
bool SameExceptPcr(const std::uint8_t* a, const std::uint8_t* b);

// The kind of a drop the default rule found on this packet, the PID's last
// counter under that rule being `previousCc`. Call before
// CheckStandardContinuity moves the PID on.
DropKind ClassifyDrop(const PidState& state, const PidWatch& watch, const std::uint8_t* packet,
                      const CounterFacts& facts, std::uint8_t previousCc);

struct StandardVerdict {
  bool error = false;
  DropKind kind = DropKind::Gap;  // Gap or Repeat
  std::uint8_t lostPackets = 0;   // Gap: 1 to 15
  bool copy = false;              // the one copy of the last packet allowed
};

// Checks one undamaged packet by the systems rule and moves the PID on.
StandardVerdict CheckStandardContinuity(PidState& state, PidWatch& watch, const std::uint8_t* packet,
                                        const CounterFacts& facts);

}  // namespace kestrun
