#include "analysis/stream_clock.h"

namespace kestrun {
namespace {

constexpr std::uint64_t kTimestampRange = kTimestampMax + 1;

}  // namespace

void FeedStreamClock(StreamClock& clock, std::uint16_t pid, std::uint64_t pcrBase, bool discontinuity) {
  if (clock.pid == kNoPid) {
    clock.pid = pid;
    clock.lastPcr = pcrBase;
    return;
  }
  if (pid != clock.pid) return;
  // Modulo 2^33: a step of more than half the range is a step back.
  const std::uint64_t step = (pcrBase - clock.lastPcr) & kTimestampMax;
  if (!discontinuity && step < kTimestampRange / 2) clock.now += step;
  clock.lastPcr = pcrBase;
}

std::optional<std::uint64_t> StreamTicks(const StreamClock& clock, const TsContext& context) {
  if (clock.pid != kNoPid) return clock.now;
  const TimestampClock& play = SelectClock(context);
  if (play.base == 0) return std::nullopt;
  return play.elapsed;
}

}  // namespace kestrun
