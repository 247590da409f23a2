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
