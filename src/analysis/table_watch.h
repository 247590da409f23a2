// The table indicators: PAT and PMT arrivals (late, scrambled, a wrong
// table_id on PID 0), CRC errors of PAT, PMT, CAT and TOT sections, and the
// elementary streams a PMT lists that go missing. Part of the job analysis.
#pragma once

#include <cstdint>
#include <optional>

#include "analysis/job_analysis.h"

namespace kestrun {

// One undamaged packet of `watch`'s PID. `lost` says that packets of the PID
// were lost just before it (a section running across is broken), `copy`
// that it repeats the PID's previous packet (its bytes were seen already).
struct TablePacket {
  const std::uint8_t* packet = nullptr;
  const PidState* state = nullptr;
  PidWatch* watch = nullptr;
  const FullPacketFacts* facts = nullptr;
  bool lost = false;
  bool copy = false;
  std::uint64_t position = 0;  // its sync byte
  std::optional<std::uint64_t> now;  // stream time
};

void WatchTables(JobAnalysis& analysis, const TsContext& context, const TablePacket& table);

// Starts the timers that wait for the stream time to begin, and looks for
// tables and streams overdue at `now`.
void LookForAbsences(JobAnalysis& analysis, const TsContext& context, std::uint64_t now);

}  // namespace kestrun
