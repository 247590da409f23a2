// The per-packet steps after the continuity check, in the order the worker
// runs them: clocks first, then the tables of the packet's PID.
#pragma once

#include <cstdint>

namespace kestrun {

struct TsContext;
struct PidState;

enum class TableResult { None, PatHandled, TotAccepted, PmtHandled };

// Feeds the packet's PCR, PTS and DTS into the context's clocks.
void UpdateClocks(TsContext& context, const PidState& state);

// PID 0 to the PAT, PID 0x14 to the TDT/TOT, a PMT PID to its PMT.
// TotAccepted means the broadcast time (and wrap-around prediction) changed.
TableResult DispatchTables(const std::uint8_t* packet, TsContext& context, PidState& state);

}  // namespace kestrun
