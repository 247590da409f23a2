// The horizontal axis of a job's timeline: play time where the stream has a
// clock, else the position in the stream, laid over a fixed number of
// columns; and the labels along it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/run_report.h"

namespace kestrun::html {

inline constexpr int kPlotColumns = 1000;

struct TimeAxis {
  bool byTicks = false;  // 90 kHz play-time ticks; else stream positions
  std::uint64_t first = 0;
  std::uint64_t last = 0;

  std::uint64_t ValueOf(const StreamPlace& place) const { return byTicks ? place.ticks : place.offset; }
  // The column of a value, 0 to kPlotColumns - 1 (values outside the axis
  // go to its ends).
  int Column(std::uint64_t value) const;
};

// The axis that holds everything the job's timeline draws.
TimeAxis AxisOf(const JobReport& job);

struct AxisLabel {
  int column = 0;
  std::string text;       // play time, or a size
  std::string broadcast;  // the broadcast time there; empty where unknown
};

// Round values along the axis, a handful of them.
std::vector<AxisLabel> AxisLabels(const TimeAxis& axis, const StreamSamples& samples);

}  // namespace kestrun::html
