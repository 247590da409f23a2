// Elapsed play time in 90 kHz ticks, fed by PCR, PTS or DTS samples of any
// PID, and the prediction of the next PCR wrap-around.
#pragma once

#include <cstdint>

#include "ts/pid_state.h"

namespace kestrun {

inline constexpr std::uint64_t kClockTicksPerSecond = 90000;
// Largest 33-bit time stamp value.
inline constexpr std::uint64_t kTimestampMax = 0x1FFFFFFFFull;

struct ClockTime {
  std::uint16_t hours = 0;  // not limited to 23
  std::uint16_t minutes = 0;
  std::uint16_t seconds = 0;
  std::uint16_t milliseconds = 0;
};

struct TimestampClock {
  std::uint64_t base = 0;     // origin sample; 0 = no sample taken yet
  std::uint64_t elapsed = 0;  // ticks from base to the latest sample
  ClockTime time;             // elapsed, broken down for display
};

struct TsContext;

// Feeds one 33-bit sample into a clock.
void FeedClock(TimestampClock& clock, std::uint64_t sample);

void UpdatePcrClock(TimestampClock& clock, const AdaptationFieldInfo& adaptation);
void UpdatePtsClock(TimestampClock& clock, const PesHeaderInfo& pes);
void UpdateDtsClock(TimestampClock& clock, const PesHeaderInfo& pes);

// The clock reported as play time: the first of PCR, PTS, DTS that has both
// an origin and some elapsed time; the PCR clock when none has.
const TimestampClock& SelectClock(const TsContext& context);

ClockTime TicksToClockTime(std::uint64_t ticks);

// Renews the wrap-around prediction after an accepted TDT/TOT.
void PredictWrapAround(TsContext& context);

}  // namespace kestrun
