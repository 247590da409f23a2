#include "ts/dispatch.h"

#include "ts/ts_context.h"

namespace kestrun {
namespace {

constexpr std::uint8_t kPtsOnly = 2;
constexpr std::uint8_t kPtsAndDts = 3;

}  // namespace

void UpdateClocks(TsContext& context, const PidState& state) {
  if (state.hasAdaptation && state.adaptation.pcrFlag) {
    UpdatePcrClock(context.pcrClock, state.adaptation);
  }
  if (!state.hasPes) return;
  const std::uint8_t flags = state.pes.ptsDtsFlags;
  if (flags == kPtsOnly || flags == kPtsAndDts) UpdatePtsClock(context.ptsClock, state.pes);
  if (flags == kPtsAndDts) UpdateDtsClock(context.dtsClock, state.pes);
}

TableResult DispatchTables(const std::uint8_t* packet, TsContext& context, PidState& state) {
  if (state.pid == kPatPid && ProcessPat(packet, context, state)) return TableResult::PatHandled;
  if (state.pid == kTotPid && ProcessTot(packet, context, state)) return TableResult::TotAccepted;
  const ProgramEntry* program = FindProgramByPmtPid(context, state.pid);
  if (program != nullptr && ProcessPmt(packet, *program, context, state)) {
    return TableResult::PmtHandled;
  }
  return TableResult::None;
}

}  // namespace kestrun
