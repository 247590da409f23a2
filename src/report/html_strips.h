// Damaged (transport_error_indicator) and scrambled packets as density
// strips along each row: the sampled stretches spread over their columns,
// shaded by the share of the PID's packets they stand for, neighbouring
// columns of the same shade joined. The packets of a row's strips add up to
// what the stretches hold.
#pragma once

#include <cstdint>
#include <vector>

#include "report/html_axis.h"
#include "report/html_rows.h"

namespace kestrun::html {

enum class StripKind : std::uint8_t { TransportError, Scrambled };

struct StripRun {
  int row = 0;
  StripKind kind = StripKind::TransportError;
  int firstColumn = 0;
  int lastColumn = 0;
  std::uint64_t packets = 0;
  int shade = 1;  // 1 light, 2 medium, 3 dense
};

// By row, then kind, then column.
std::vector<StripRun> StripRuns(const JobReport& job, const TimeAxis& axis, const RowLayout& layout);

}  // namespace kestrun::html
