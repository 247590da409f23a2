#include "report/html_axis.h"

#include <algorithm>
#include <array>

#include "report/html_text.h"

namespace kestrun::html {
namespace {

constexpr std::uint64_t kSecond = kClockTicksPerSecond;
constexpr int kMostLabels = 8;

// Steps between labels of play time, in ticks: tenths of a second up to a day.
constexpr std::array<std::uint64_t, 22> kTimeSteps = {
    kSecond / 10, kSecond / 5,  kSecond / 2,  kSecond,       2 * kSecond,    5 * kSecond,
    10 * kSecond, 15 * kSecond, 30 * kSecond, 60 * kSecond,  120 * kSecond,  300 * kSecond,
    600 * kSecond, 900 * kSecond, 1800 * kSecond, 3600 * kSecond, 7200 * kSecond, 10800 * kSecond,
    21600 * kSecond, 43200 * kSecond, 86400 * kSecond, 172800 * kSecond};

struct Extent {
  std::uint64_t low = ~std::uint64_t{0};
  std::uint64_t high = 0;

  void Take(std::uint64_t value) {
    low = std::min(low, value);
    high = std::max(high, value);
  }
};

template <typename Event, typename Place>
void TakeAll(Extent& extent, const std::vector<Event>& events, bool byTicks, Place place) {
  for (const Event& event : events) {
    const StreamPlace& at = place(event);
    extent.Take(byTicks ? at.ticks : at.offset);
  }
}

// 1, 2 or 5 times a power of ten: the smallest that needs at most
// kMostLabels labels over `span`.
std::uint64_t RoundStep(std::uint64_t span) {
  for (std::uint64_t power = 1;; power *= 10) {
    for (const std::uint64_t factor : {1, 2, 5}) {
      if (span / (power * factor) <= kMostLabels) return power * factor;
    }
  }
}

std::uint64_t TimeStep(std::uint64_t span) {
  for (const std::uint64_t step : kTimeSteps) {
    if (span / step <= kMostLabels) return step;
  }
  return RoundStep(span / kSecond) * kSecond;
}

// Play time to the tenth of a second where the step needs it, else whole seconds.
std::string PlayLabel(std::uint64_t ticks, std::uint64_t step) {
  const std::string text = PlayTimeOfTicks(ticks);
  return text.substr(0, text.size() - (step < kSecond ? 2 : 4));
}

}  // namespace

int TimeAxis::Column(std::uint64_t value) const {
  if (value <= first) return 0;
  if (value >= last) return kPlotColumns - 1;
  std::uint64_t offset = value - first;
  std::uint64_t span = last - first;
  // Both scaled down together until the product cannot overflow.
  while (span > (~std::uint64_t{0}) / kPlotColumns) {
    offset >>= 1;
    span >>= 1;
  }
  return static_cast<int>(std::min<std::uint64_t>(offset * kPlotColumns / span, kPlotColumns - 1));
}

TimeAxis AxisOf(const JobReport& job) {
  TimeAxis axis;
  axis.byTicks = job.hasPlayTime && job.lastTicks > job.firstTicks;
  Extent extent;
  if (axis.byTicks) {
    extent.Take(job.firstTicks);
    extent.Take(job.lastTicks);
  } else {
    extent.Take(job.outcome.startPosition >= 0 ? static_cast<std::uint64_t>(job.outcome.startPosition) : 0);
    extent.Take(extent.low + job.outcome.bytesRead);
  }
  const bool ticks = axis.byTicks;
  const auto self = [](const auto& event) -> const StreamPlace& { return event.place; };
  TakeAll(extent, job.drops.items, ticks, self);
  TakeAll(extent, job.continuityErrors.items, ticks, self);
  TakeAll(extent, job.streamErrorEvents.items, ticks, self);
  TakeAll(extent, job.incidents.items, ticks, [](const LossIncident& i) -> const StreamPlace& { return i.first; });
  TakeAll(extent, job.incidents.items, ticks, [](const LossIncident& i) -> const StreamPlace& { return i.last; });
  axis.first = extent.low;
  axis.last = std::max(extent.high, extent.low + 1);
  return axis;
}

std::vector<AxisLabel> AxisLabels(const TimeAxis& axis, const StreamSamples& samples) {
  const std::uint64_t span = axis.last - axis.first;
  const std::uint64_t step = axis.byTicks ? TimeStep(span) : RoundStep(span);
  std::vector<AxisLabel> labels;
  for (std::uint64_t value = (axis.first + step - 1) / step * step; value <= axis.last; value += step) {
    AxisLabel label;
    label.column = axis.Column(value);
    if (!axis.byTicks) {
      label.text = value == 0 ? "0" : ByteSize(value);
      labels.push_back(label);
      continue;
    }
    label.text = PlayLabel(value, step);
    if (samples.hasBroadcastAnchor) {
      // To the nearest second.
      const auto since = static_cast<std::int64_t>(value) - static_cast<std::int64_t>(samples.anchorTicks);
      const auto second = static_cast<std::int64_t>(kSecond);
      const std::int64_t seconds = (since >= 0 ? since + second / 2 : since - second / 2) / second;
      label.broadcast = TimeOfDay(ShiftedTime(samples.anchorTime, seconds));
    }
    labels.push_back(label);
  }
  return labels;
}

}  // namespace kestrun::html
