#include "ts/ts_context.h"

#include <new>

namespace kestrun {
namespace {

PidState* AddPidState(TsContext& context, std::uint16_t pid) {
  try {
    auto state = std::make_unique<PidState>();
    state->pid = pid;
    context.pidList.push_back(std::move(state));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  PidState* added = context.pidList.back().get();
  context.pidIndex[pid] = added;
  return added;
}

// A packet damaged in transmission tells nothing about continuity. The PID
// keeps its record, counters and place in the summary, but its next good
// packet starts the check afresh, and a section it was collecting is lost.
void RestartAfterTransportError(PidState& state) {
  state.first = true;
  state.parsed = false;
  state.hasAdaptation = false;
  state.hasPes = false;
  DiscardSection(state);
}

}  // namespace

TsContext* CreateContext(TsContextList& list, std::int32_t key, LocalTimeRules rules) {
  for (const auto& context : list) {
    if (context && context->key == key) return context.get();
  }
  try {
    auto context = std::make_unique<TsContext>();
    context->key = key;
    context->localTime = rules;
    list.push_back(std::move(context));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return list.back().get();
}

void FreeContext(TsContextList& list) { list.clear(); }

PidState* FindPidState(const TsContext& context, std::uint16_t pid) {
  return pid < kPidCount ? context.pidIndex[pid] : nullptr;
}

PidState* ParseFirstOrDamagedPacket(const PacketView& view, TsContext& context) {
  const std::uint16_t pid = view.Pid();
  PidState* state = context.pidIndex[pid];
  if (view.TransportError()) {
    if (state != nullptr) RestartAfterTransportError(*state);
    return nullptr;
  }
  if (state == nullptr) {
    state = AddPidState(context, pid);
    if (state == nullptr) return nullptr;
  }
  DecodePacketHeader(view, *state);
  return state;
}

}  // namespace kestrun
