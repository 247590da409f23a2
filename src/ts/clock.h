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

  bool operator==(const ClockTime&) const = default;
};

// No 33-bit sample has this value.
inline constexpr std::uint64_t kNoSample = ~std::uint64_t{0};

struct TimestampClock {
  std::uint64_t base = 0;     // origin sample; 0 = no sample taken yet
  std::uint64_t elapsed = 0;  // ticks from base to the latest sample
  ClockTime time;             // elapsed, broken down for display
  std::uint64_t lastSample = kNoSample;  // the sample fed last
};

struct TsContext;

ClockTime TicksToClockTime(std::uint64_t ticks);

// FeedClock for a sample other than the one fed last.
[[gnu::cold]] void FeedNewSample(TimestampClock& clock, std::uint64_t sample);

// Feeds one 33-bit sample into a clock. The clocks are fed for most packets
// (a PES header's time stamps with every packet of its PID until the next
// one starts), mostly with the sample fed last. Feeding a sample again
// right after itself changes nothing (whichever way the first feed went,
// the second finds elapsed already where it puts it), so that case is told
// here, where the packet loop inlines it.
inline void FeedClock(TimestampClock& clock, std::uint64_t sample) {
  sample &= kTimestampMax;
  if (sample == clock.lastSample) return;
  FeedNewSample(clock, sample);
}

namespace clock_feed {

inline constexpr std::uint8_t kPtsBit = 0x02;
inline constexpr std::uint8_t kDtsBit = 0x01;
inline constexpr std::uint32_t kPesStartCode = 0x000001;

inline bool CarriesTimestamps(const PesHeaderInfo& pes) {
  return pes.startCodePrefix == kPesStartCode && pes.hasOptionalHeader;
}

}  // namespace clock_feed

inline void UpdatePcrClock(TimestampClock& clock, const AdaptationFieldInfo& adaptation) {
  if (adaptation.pcrFlag) FeedClock(clock, adaptation.pcrBase);
}

inline void UpdatePtsClock(TimestampClock& clock, const PesHeaderInfo& pes) {
  using namespace clock_feed;
  if (CarriesTimestamps(pes) && (pes.ptsDtsFlags & kPtsBit) != 0) FeedClock(clock, pes.pts);
}

inline void UpdateDtsClock(TimestampClock& clock, const PesHeaderInfo& pes) {
  using namespace clock_feed;
  if (CarriesTimestamps(pes) && (pes.ptsDtsFlags & kDtsBit) != 0) FeedClock(clock, pes.dts);
}

// The clock reported as play time: the first of PCR, PTS, DTS that has both
// an origin and some elapsed time; the PCR clock when none has.
const TimestampClock& SelectClock(const TsContext& context);

// Renews the wrap-around prediction after an accepted TDT/TOT.
void PredictWrapAround(TsContext& context);

}  // namespace kestrun
