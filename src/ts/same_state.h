// Whether two analysis contexts hold the same state, every field of the
// context and of every PID record compared. The packet loop's fast lane
// (AnalysePlainPacket) stands in for the full steps, and the tests and the
// fuzzer hold it to this: after any packet, a context fed the fast way must
// equal one fed the full steps, whatever the stream.
#pragma once

#include "ts/ts_context.h"

namespace kestrun {

bool SameAnalysisState(const TsContext& a, const TsContext& b);

// Two PID records alike in every field. The last packet with payload
// (lastPayloadPacket) is compared by its bytes: the two may hold it in
// different buffers.
bool SamePidState(const PidState& a, const PidState& b);

// Two PID indexes into each one's own records (anything with a `pid`): they
// must point at the records of the same PIDs.
template <typename Record>
bool SamePidIndexes(const std::array<Record*, kPidCount>& a, const std::array<Record*, kPidCount>& b) {
  const auto pidOf = [](const Record* record) { return record != nullptr ? std::uint32_t{record->pid} : ~0u; };
  for (std::size_t pid = 0; pid < kPidCount; ++pid) {
    if (pidOf(a[pid]) != pidOf(b[pid])) return false;
  }
  return true;
}

}  // namespace kestrun
