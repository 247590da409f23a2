#include "report/html_strips.h"

#include <algorithm>
#include <map>
#include <utility>

namespace kestrun::html {
namespace {

using Columns = std::vector<std::uint64_t>;

// `packets` spread over columns first..last: each gets its share, the
// first ones one more until the remainder is used up.
void Spread(Columns& columns, int first, int last, std::uint64_t packets) {
  if (packets == 0) return;
  const auto width = static_cast<std::uint64_t>(last - first + 1);
  const std::uint64_t share = packets / width;
  std::uint64_t rest = packets % width;
  for (int column = first; column <= last; ++column) {
    columns[static_cast<std::size_t>(column)] += share + (rest > 0 ? 1 : 0);
    if (rest > 0) --rest;
  }
}

// How much of the PID's traffic in a column the packets are, as one of
// three shades: under a tenth, under a half, more.
int ShadeOf(std::uint64_t packets, std::uint64_t rowPackets) {
  const std::uint64_t perColumn = rowPackets / kPlotColumns + 1;
  if (packets * 10 < perColumn) return 1;
  if (packets * 2 < perColumn) return 2;
  return 3;
}

void AddRuns(std::vector<StripRun>& runs, int row, StripKind kind, const Columns& columns,
             std::uint64_t rowPackets) {
  for (int column = 0; column < kPlotColumns; ++column) {
    const std::uint64_t packets = columns[static_cast<std::size_t>(column)];
    if (packets == 0) continue;
    const int shade = ShadeOf(packets, rowPackets);
    StripRun* last = runs.empty() ? nullptr : &runs.back();
    if (last != nullptr && last->row == row && last->kind == kind && last->lastColumn + 1 == column &&
        last->shade == shade) {
      last->lastColumn = column;
      last->packets += packets;
      continue;
    }
    runs.push_back({row, kind, column, column, packets, shade});
  }
}

}  // namespace

std::vector<StripRun> StripRuns(const JobReport& job, const TimeAxis& axis, const RowLayout& layout) {
  // Per row: the damaged packets, then the scrambled ones, by column.
  std::map<int, std::pair<Columns, Columns>> rows;
  for (const DamageStretch& stretch : job.samples.damage) {
    const int first = axis.Column(axis.byTicks ? stretch.firstTicks : stretch.firstOffset);
    const int last = axis.Column(axis.byTicks ? stretch.lastTicks : stretch.lastOffset);
    for (const PidDamage& damage : stretch.pids) {
      auto [entry, added] = rows.try_emplace(layout.rowOfPid[damage.pid & 0x1FFF]);
      if (added) {
        entry->second.first.assign(kPlotColumns, 0);
        entry->second.second.assign(kPlotColumns, 0);
      }
      Spread(entry->second.first, first, std::max(first, last), damage.transportErrors);
      Spread(entry->second.second, first, std::max(first, last), damage.scrambled);
    }
  }
  std::vector<StripRun> runs;
  for (const auto& [row, columns] : rows) {
    const std::uint64_t packets = layout.rows[static_cast<std::size_t>(row)].packets;
    AddRuns(runs, row, StripKind::TransportError, columns.first, packets);
    AddRuns(runs, row, StripKind::Scrambled, columns.second, packets);
  }
  return runs;
}

}  // namespace kestrun::html
