// The stream time the stream-error indicators measure intervals in: 90 kHz
// ticks run since the first PCR of the stream, by the PCRs of the PID that
// carried the first one. A PCR that steps back, or carries the
// discontinuity_indicator, starts a new stretch without adding to the time;
// a leap forward without it is time that passed (lost packets).
#pragma once

#include <cstdint>
#include <optional>

#include "analysis/events.h"
#include "ts/ts_context.h"

namespace kestrun {

struct StreamClock {
  std::uint16_t pid = kNoPid;  // the PID whose PCRs it follows
  std::uint64_t lastPcr = 0;
  std::uint64_t now = 0;

  bool operator==(const StreamClock&) const = default;
};

void FeedStreamClock(StreamClock& clock, std::uint16_t pid, std::uint64_t pcrBase, bool discontinuity);

// The stream time: by the PCRs, else (a stream without PCR) by the play-time
// clock; nothing while neither has begun.
std::optional<std::uint64_t> StreamTicks(const StreamClock& clock, const TsContext& context);

}  // namespace kestrun
