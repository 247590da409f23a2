// The per-packet steps after the continuity check, in the order the worker
// runs them: clocks first, then the tables of the packet's PID. Both run
// for every packet, so they are defined here for the packet loop to inline.
#pragma once

#include <cstdint>

#include "ts/ts_context.h"

namespace kestrun {

enum class TableResult { None, PatHandled, TotAccepted, PmtHandled };

// Feeds the packet's PCR, PTS and DTS into the context's clocks.
inline void UpdateClocks(TsContext& context, const PidState& state) {
  constexpr std::uint8_t kPtsOnly = 2;
  constexpr std::uint8_t kPtsAndDts = 3;
  if (state.hasAdaptation && state.adaptation.pcrFlag) {
    UpdatePcrClock(context.pcrClock, state.adaptation);
  }
  if (!state.hasPes) return;
  const std::uint8_t flags = state.pes.ptsDtsFlags;
  if (flags == kPtsOnly || flags == kPtsAndDts) UpdatePtsClock(context.ptsClock, state.pes);
  if (flags == kPtsAndDts) UpdateDtsClock(context.dtsClock, state.pes);
}

// PID 0 to the PAT, PID 0x14 to the TDT/TOT, a PMT PID to its PMT.
// TotAccepted means the broadcast time (and wrap-around prediction) changed.
inline TableResult DispatchTables(const std::uint8_t* packet, TsContext& context, PidState& state) {
  if (state.pid == kPatPid && ProcessPat(packet, context, state)) return TableResult::PatHandled;
  if (state.pid == kTotPid && ProcessTot(packet, context, state)) return TableResult::TotAccepted;
  const ProgramEntry* program = FindProgramByPmtPid(context, state.pid);
  if (program != nullptr && ProcessPmt(packet, *program, context, state)) {
    return TableResult::PmtHandled;
  }
  return TableResult::None;
}

}  // namespace kestrun
