#include "ts/ts_context.h"

#include <new>

namespace kestrun {
namespace {

// The damaged packets a PID had before its first good one move to its record.
std::uint64_t TakeDamagedCount(TsContext& context, std::uint16_t pid) {
  std::vector<DamagedPid>& damaged = context.damagedOnly;
  for (auto it = damaged.begin(); it != damaged.end(); ++it) {
    if (it->pid != pid) continue;
    const std::uint64_t count = it->teiCount;
    damaged.erase(it);
    return count;
  }
  return 0;
}

void CountDamagedOnly(TsContext& context, std::uint16_t pid) {
  for (DamagedPid& damaged : context.damagedOnly) {
    if (damaged.pid == pid) {
      ++damaged.teiCount;
      return;
    }
  }
  try {
    context.damagedOnly.push_back(DamagedPid{pid, 1});
  } catch (const std::bad_alloc&) {
    // The count of a PID that never arrives undamaged is lost.
  }
}

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
  if (!context.damagedOnly.empty()) added->teiCount = TakeDamagedCount(context, pid);
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
  state.clockFeeds = 0;
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
    if (state != nullptr) {
      ++state->teiCount;
      RestartAfterTransportError(*state);
    } else {
      CountDamagedOnly(context, pid);
    }
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
