// The per-packet steps after the continuity check, in the order the worker
// runs them: clocks first, then the tables of the packet's PID. Both run
// for every packet, so they are defined here for the packet loop to inline.
#pragma once

#include <cstdint>

#include "ts/ts_context.h"

namespace kestrun {

enum class TableResult { None, PatHandled, TotAccepted, PmtHandled };

// A PID that feeds a clock no sample stands for one that feeds it the sample
// fed last, which changes nothing (FeedClock): whether a packet feeds or not
// then costs no branch, where PIDs with and without time stamps, mixed at
// random, would make many a branch go the unexpected way.
inline void FeedClockIf(TimestampClock& clock, bool feeds, std::uint64_t sample) {
  const std::uint64_t offered = feeds ? sample & kTimestampMax : clock.lastSample;
  if (offered != clock.lastSample) FeedNewSample(clock, offered);
}

// Feeds the PTS and DTS of the PID's last PES header into the context's
// clocks: every packet of the PID does, until the next PES header.
inline void UpdatePesClocks(TsContext& context, const PidState& state) {
  FeedClockIf(context.ptsClock, (state.clockFeeds & kFeedsPts) != 0, state.pes.pts);
  FeedClockIf(context.dtsClock, (state.clockFeeds & kFeedsDts) != 0, state.pes.dts);
  if (state.clockFeeds != 0) context.pesClockFeeder = &state;
}

// Feeds the packet's PCR, PTS and DTS into the context's clocks.
inline void UpdateClocks(TsContext& context, const PidState& state) {
  if (state.hasAdaptation && state.adaptation.pcrFlag) {
    UpdatePcrClock(context.pcrClock, state.adaptation);
  }
  UpdatePesClocks(context, state);
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
