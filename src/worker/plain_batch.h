// The packet loop's fast lane: the packets in sync at the read buffer's
// cursor that need nothing but the plain analysis (AnalysePlainPacket), taken
// in one tight loop over the held data. Every packet it takes is one pass of
// the read loop; it stops before the first packet that needs the full steps,
// so that packet is found by NextPacket at the cursor as before.
#pragma once

#include <cstdint>

#include "ts/ts_context.h"
#include "worker/read_buffer.h"

namespace kestrun {

struct PlainBatch {
  std::uint32_t packets = 0;       // packets taken, the cursor moved past them
  std::uint32_t framed = 0;        // of them, 192-byte packets
  bool playTimeMoved = false;      // the last one changed the play time
};

// Takes at most `limit` packets. With `kStopWhenPlayTimeMoves` it also stops
// after a packet that changed the play time (the clock SelectClock picks),
// for a caller that must look at every new play time. Out of line, so the
// loop gets the registers to itself: one call per batch.
template <bool kStopWhenPlayTimeMoves>
PlainBatch CheckPlainPackets(ReadBuffer& buffer, TsContext& context, std::uint32_t limit);

extern template PlainBatch CheckPlainPackets<false>(ReadBuffer&, TsContext&, std::uint32_t);
extern template PlainBatch CheckPlainPackets<true>(ReadBuffer&, TsContext&, std::uint32_t);

// The same for a job whose analysis runs: only the packets the analysis has
// nothing to learn from either (AnalysePlainPacket<true>) are taken.
template <bool kStopWhenPlayTimeMoves>
PlainBatch CheckWatchedPlainPackets(ReadBuffer& buffer, TsContext& context, std::uint32_t limit);

extern template PlainBatch CheckWatchedPlainPackets<false>(ReadBuffer&, TsContext&, std::uint32_t);
extern template PlainBatch CheckWatchedPlainPackets<true>(ReadBuffer&, TsContext&, std::uint32_t);

}  // namespace kestrun
