// The tuner's signal level over a job: every level the driver gave, summed
// up (latest, lowest, mean, highest), and a series of them with the time
// each was read. The series keeps at most kSignalSeriesLimit samples: when
// it is full, the older half is thinned to every other sample, so the
// recent past stays whole and a run of any length keeps a bounded series.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrun {

inline constexpr std::size_t kSignalSeriesLimit = 86400;

struct SignalSample {
  std::int64_t unixMs = 0;  // wall-clock time the level was read
  float level = 0.0f;
};

struct SignalSeries {
  std::uint64_t count = 0;  // levels taken, thinned ones included
  double sum = 0.0;
  float latest = 0.0f;
  float lowest = 0.0f;
  float highest = 0.0f;
  std::vector<SignalSample> samples;  // in time order

  bool HasLevel() const { return count > 0; }
  double Mean() const { return count > 0 ? sum / static_cast<double>(count) : 0.0; }
};

// Takes one level read from the driver; a level that is not finite is no
// level and leaves the series as it was. `limit` is kSignalSeriesLimit but
// for tests.
void AddSignalLevel(SignalSeries& series, std::int64_t unixMs, float level,
                    std::size_t limit = kSignalSeriesLimit);

}  // namespace kestrun
