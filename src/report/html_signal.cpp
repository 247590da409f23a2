#include "report/html_signal.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "report/html_axis.h"
#include "report/html_text.h"

namespace kestrun::html {
namespace {

// Levels beyond this are no reading a driver could mean.
constexpr double kLargestLevel = 1e9;
constexpr int kMargin = 4;

struct Reading {
  std::int64_t time = 0;   // milliseconds since 1970 UTC
  std::int64_t centi = 0;  // the level in hundredths
};

std::vector<Reading> Readings(const SignalLevels& levels) {
  std::vector<Reading> readings;
  for (const SignalSample& sample : levels) {
    const float level = sample.level;
    if (!std::isfinite(level) || std::fabs(level) > kLargestLevel) continue;
    readings.push_back({sample.unixMs, std::llround(static_cast<double>(level) * 100.0)});
  }
  return readings;
}

// Hundredths as a decimal with two places: -3.05, 27.50.
std::string CentiText(std::int64_t centi) {
  const std::uint64_t magnitude = centi < 0 ? 0 - static_cast<std::uint64_t>(centi) : static_cast<std::uint64_t>(centi);
  const std::uint64_t fraction = magnitude % 100;
  std::string text = centi < 0 ? "-" : "";
  text += Decimal(magnitude / 100);
  text += fraction < 10 ? ".0" : ".";
  text += Decimal(fraction);
  return text;
}

// The column of a reading `since` milliseconds after the first of `span`.
std::int64_t ColumnOf(std::uint64_t since, std::uint64_t span) {
  while (span > (~std::uint64_t{0}) / kPlotColumns) {
    since >>= 1;
    span >>= 1;
  }
  return static_cast<std::int64_t>(since * (kPlotColumns - 1) / std::max<std::uint64_t>(1, span));
}

// Milliseconds from `from` to `to` (to >= from), whatever their size.
std::uint64_t Between(std::int64_t from, std::int64_t to) {
  return static_cast<std::uint64_t>(to) - static_cast<std::uint64_t>(from);
}

}  // namespace

void WriteSignal(std::string& out, const SignalLevels& levels, int top, int height) {
  const std::vector<Reading> readings = Readings(levels);
  if (readings.empty()) return;
  std::int64_t first = readings.front().time;
  std::int64_t last = first;
  std::int64_t lowest = readings.front().centi;
  std::int64_t highest = lowest;
  std::int64_t sum = 0;
  for (const Reading& reading : readings) {
    first = std::min(first, reading.time);
    last = std::max(last, reading.time);
    lowest = std::min(lowest, reading.centi);
    highest = std::max(highest, reading.centi);
    sum += reading.centi;
  }
  const std::uint64_t span = Between(first, last);
  std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>> columns;  // column -> sum, count
  for (const Reading& reading : readings) {
    auto& [columnSum, count] = columns[ColumnOf(Between(first, reading.time), span)];
    columnSum += reading.centi;
    ++count;
  }
  const std::int64_t range = highest - lowest;
  const auto yOf = [&](std::int64_t centi) {
    if (range == 0) return static_cast<std::int64_t>(top + height / 2);
    return top + kMargin + (highest - centi) * (height - 2 * kMargin) / range;
  };
  std::string points;
  for (const auto& [column, value] : columns) {
    const std::string y = SignedDecimal(yOf(value.first / value.second));
    // A line of one column is drawn over two, so that it shows.
    for (std::int64_t x = column; x <= column + (columns.size() == 1 ? 1 : 0); ++x) {
      if (!points.empty()) points += ' ';
      points += SignedDecimal(x) + "," + y;
    }
  }
  const auto count = static_cast<std::int64_t>(readings.size());
  out += "<polyline class=\"sig\" points=\"" + points + "\" data-signal=\"" + Decimal(readings.size()) +
         "\"><title>Signal level: latest " + CentiText(readings.back().centi) + ", lowest " + CentiText(lowest) +
         ", mean " + CentiText(sum / count) + ", highest " + CentiText(highest) + " (" +
         Counted(readings.size(), "reading", "readings") + ")</title></polyline>\n";
}

}  // namespace kestrun::html
