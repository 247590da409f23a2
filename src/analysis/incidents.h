// Loss incidents: continuity errors of the MPEG-2 systems rule (gaps and
// repeats) on any PIDs that lie close together form one incident, the way
// one fade of the signal hits every PID at once. Close means within one
// second of play time where the stream has a clock running at both errors,
// else within 1 MiB of stream.
#pragma once

#include <cstdint>

#include "analysis/events.h"

namespace kestrun {

inline constexpr std::uint64_t kIncidentTicks = 90000;      // 1 s
inline constexpr std::uint64_t kIncidentBytes = 1u << 20;   // 1 MiB

struct IncidentGrouping {
  CappedList<LossIncident> closed;
  bool open = false;
  LossIncident current;
  bool currentClocked = false;  // the clock ran at the current incident's last error

  bool operator==(const IncidentGrouping&) const = default;
};

// Adds one error at `place`; `clocked` tells whether the play-time clock ran.
void AddToIncidents(IncidentGrouping& grouping, const StreamPlace& place, bool clocked,
                    std::uint16_t pid, std::uint8_t lostPackets);

// Closes the incident still open (at the end of the job).
void CloseIncidents(IncidentGrouping& grouping);

// Every incident so far, the open one included.
std::uint64_t IncidentCount(const IncidentGrouping& grouping);

}  // namespace kestrun
