// The signal levels of a job: the summary takes every level, the series
// stays within its limit with the newest half whole.
#include "tuner/signal_series.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace kestrun {
namespace {

TEST(SignalSeries, SummaryTakesEveryFiniteLevelAndTheSeriesThinsItsOlderHalf) {
  SignalSeries series;
  AddSignalLevel(series, 0, std::numeric_limits<float>::quiet_NaN(), 8);
  AddSignalLevel(series, 0, std::numeric_limits<float>::infinity(), 8);
  EXPECT_FALSE(series.HasLevel());
  for (int i = 0; i < 20; ++i) AddSignalLevel(series, 1000 * i, 10.0f + static_cast<float>(i % 5), 8);
  AddSignalLevel(series, 20000, -std::numeric_limits<float>::infinity(), 8);

  EXPECT_EQ(series.count, 20u);
  EXPECT_EQ(series.latest, 14.0f);
  EXPECT_EQ(series.lowest, 10.0f);
  EXPECT_EQ(series.highest, 14.0f);
  EXPECT_DOUBLE_EQ(series.Mean(), 12.0);
  ASSERT_LE(series.samples.size(), 8u);
  // The four newest are all there, in order; the older ones thin out.
  const std::size_t n = series.samples.size();
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(series.samples[n - 4 + k].unixMs, 1000 * (16 + k));
  for (std::size_t k = 1; k < n; ++k) EXPECT_LT(series.samples[k - 1].unixMs, series.samples[k].unixMs);
  EXPECT_EQ(series.samples.front().unixMs, 0);
}

}  // namespace
}  // namespace kestrun
