#include "ts/clock.h"

#include "ts/ts_context.h"

namespace kestrun {
namespace {

bool IsRunning(const TimestampClock& clock) { return clock.base != 0 && clock.elapsed != 0; }

}  // namespace

const TimestampClock& SelectClock(const TsContext& context) {
  if (IsRunning(context.pcrClock)) return context.pcrClock;
  if (IsRunning(context.ptsClock)) return context.ptsClock;
  if (IsRunning(context.dtsClock)) return context.dtsClock;
  return context.pcrClock;
}

void FeedNewSample(TimestampClock& clock, std::uint64_t sample) {
  clock.lastSample = sample;
  std::uint64_t elapsed = 0;
  if (clock.base == 0) {
    // A first sample of 0 cannot be told from "no origin": the next sample
    // becomes the origin.
    clock.base = sample;
  } else if (sample >= clock.base) {
    elapsed = sample - clock.base;
  } else if (clock.base - sample >= kClockTicksPerSecond) {
    // A second or more backwards: the 33-bit counter has wrapped. The base
    // stays, so the play time keeps growing until the samples pass it again.
    elapsed = sample + (kTimestampMax - clock.base);
  } else {
    // A small step back is jitter or a splice: start again from here.
    clock.base = sample;
  }
  // Most samples repeat the last one; `time` always shows `elapsed` and is
  // worked out only when that moves.
  if (elapsed == clock.elapsed) return;
  clock.elapsed = elapsed;
  clock.time = TicksToClockTime(elapsed);
}

ClockTime TicksToClockTime(std::uint64_t ticks) {
  const std::uint64_t totalSeconds = ticks / kClockTicksPerSecond;
  const std::uint64_t totalMinutes = totalSeconds / 60;
  const std::uint64_t hours = totalMinutes / 60;
  ClockTime time;
  time.hours = static_cast<std::uint16_t>(hours < 0xFFFF ? hours : 0xFFFF);
  time.minutes = static_cast<std::uint16_t>(totalMinutes % 60);
  time.seconds = static_cast<std::uint16_t>(totalSeconds % 60);
  time.milliseconds = static_cast<std::uint16_t>((ticks % kClockTicksPerSecond) / 90);
  return time;
}

namespace {

// Ticks until the next wrap of the 33-bit counter as seen by this clock.
std::uint64_t TicksUntilWrap(const TimestampClock& clock) {
  if (clock.elapsed > kTimestampMax) return 0;
  const std::uint64_t left = kTimestampMax - clock.elapsed;
  // Not yet wrapped since the origin: the sample value itself reaches the
  // top. Already wrapped: elapsed does.
  return clock.base <= left ? left - clock.base : left;
}

void ClearPrediction(TsContext& context) {
  context.wrapTime = 0;
  context.wrapLocalTime = SystemTime{};
  context.wrapPending = false;
}

}  // namespace

void PredictWrapAround(TsContext& context) {
  if (context.wrapTime > 0 && context.wrapTime < context.totSeconds) ClearPrediction(context);
  if (context.wrapTime != 0) return;
  const TimestampClock& clock = SelectClock(context);
  if (clock.base == 0) return;
  const std::uint64_t seconds = TicksUntilWrap(clock) / kClockTicksPerSecond;
  context.wrapTime = context.totSeconds + static_cast<std::int64_t>(seconds);
  context.wrapLocalTime = SystemTime{};
  if (context.localTime.toLocal == nullptr ||
      !context.localTime.toLocal(context.wrapTime, &context.wrapLocalTime)) {
    context.wrapLocalTime = SystemTime{};
  }
  context.wrapPending = true;
}

}  // namespace kestrun
