#include "tuner/signal_series.h"

#include <cmath>

namespace kestrun {
namespace {

// Every other sample of the older half goes; the newer half stays whole.
void ThinOlderHalf(std::vector<SignalSample>& samples) {
  const std::size_t half = samples.size() / 2;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < half; i += 2) samples[kept++] = samples[i];
  for (std::size_t i = half; i < samples.size(); ++i) samples[kept++] = samples[i];
  samples.resize(kept);
}

}  // namespace

void AddSignalLevel(SignalSeries& series, std::int64_t unixMs, float level, std::size_t limit) {
  if (!std::isfinite(level)) return;
  if (series.count == 0) {
    series.lowest = level;
    series.highest = level;
    // A day of samples, allocated once rather than grown step by step.
    series.samples.reserve(limit);
  }
  ++series.count;
  series.sum += level;
  series.latest = level;
  if (level < series.lowest) series.lowest = level;
  if (level > series.highest) series.highest = level;
  if (series.samples.size() >= limit) {
    if (limit > 1) {
      ThinOlderHalf(series.samples);
    } else {
      series.samples.clear();
    }
  }
  series.samples.push_back({unixMs, level});
}

}  // namespace kestrun
