#include "worker/plain_batch.h"

#include <algorithm>

#include "ts/clock.h"
#include "ts/plain_packet.h"

namespace kestrun {
namespace {

// The plain-packet step of a job without and with its analysis (watched),
// inlined into the run's loop.
struct PlainStep {
  TsContext& context;
  [[gnu::always_inline]] bool operator()(const std::uint8_t* packet) const {
    return AnalysePlainPacket(packet, context);
  }
};

struct WatchedPlainStep {
  TsContext& context;
  [[gnu::always_inline]] bool operator()(const std::uint8_t* packet) const {
    return AnalysePlainPacket<true>(packet, context);
  }
};

struct PlainRun {
  std::uint32_t end = 0;     // the position after the last packet taken
  bool playTimeMoved = false;
};

// Takes packets of one length from `at` while each is confirmed as
// InSyncPacketLength confirms it with that length and is a plain packet,
// starting no packet at or after `stop`. One loop per length, so the
// length is a constant in it. `take` analyses a packet if it is plain.
template <std::uint32_t kLength, bool kStopWhenPlayTimeMoves, typename Take>
PlainRun TakeRun(const std::uint8_t* data, std::uint32_t at, std::uint32_t stop, const TsContext& context,
                 Take take) {
  PlainRun run;
  const std::uint8_t* packet = data + at;
  const std::uint8_t* const last = data + stop;
  // Each packet's own sync byte was the previous one's confirmation.
  if (packet < last && packet[0] != kSyncByte) return {at, false};
  for (; packet < last; packet += kLength) {
    if (packet[kLength] != kSyncByte) break;
    // In a 192-byte stream a prefix byte of 0x47 makes a 188-byte packet.
    if constexpr (kLength == kFramedPacketSize) {
      if (packet[kPlainPacketSize] == kSyncByte) break;
    }
    std::uint64_t playTime = 0;
    if constexpr (kStopWhenPlayTimeMoves) playTime = SelectClock(context).elapsed;
    if (!take(packet)) break;
    if constexpr (kStopWhenPlayTimeMoves) {
      if (SelectClock(context).elapsed != playTime) {
        run.playTimeMoved = true;
        packet += kLength;
        break;
      }
    }
  }
  run.end = static_cast<std::uint32_t>(packet - data);
  return run;
}

// The first position, from `at`, at which a packet of `length` may not start:
// it needs a byte after it in the held data, and `limit` packets at most.
std::uint32_t StopFor(std::uint32_t at, std::uint32_t end, std::uint32_t length, std::uint32_t limit) {
  if (end - at <= length) return at;
  const std::uint64_t byLimit = at + static_cast<std::uint64_t>(limit) * length;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(end - length, byLimit));
}

template <bool kStopWhenPlayTimeMoves, typename Take>
PlainBatch TakePlainPackets(ReadBuffer& buffer, const TsContext& context, std::uint32_t limit, Take take) {
  PlainBatch batch;
  const std::uint8_t* data = buffer.data;
  const std::uint32_t end = buffer.validLength;
  std::uint32_t at = buffer.cursor;
  // A run ends where the packet length changes, at a packet that needs the
  // full steps, or at the limit; only the first goes on with another run.
  while (batch.packets < limit && !batch.playTimeMoved) {
    const std::uint32_t length = InSyncPacketLength(data, at, end);
    if (length == 0) break;
    const std::uint32_t stop = StopFor(at, end, length, limit - batch.packets);
    const PlainRun run = length == kPlainPacketSize
                             ? TakeRun<kPlainPacketSize, kStopWhenPlayTimeMoves>(data, at, stop, context, take)
                             : TakeRun<kFramedPacketSize, kStopWhenPlayTimeMoves>(data, at, stop, context, take);
    const std::uint32_t taken = (run.end - at) / length;
    if (taken == 0) break;
    batch.packets += taken;
    if (length == kFramedPacketSize) batch.framed += taken;
    batch.playTimeMoved = run.playTimeMoved;
    at = run.end;
  }
  buffer.cursor = at;
  return batch;
}

}  // namespace

template <bool kStopWhenPlayTimeMoves>
PlainBatch CheckPlainPackets(ReadBuffer& buffer, TsContext& context, std::uint32_t limit) {
  return TakePlainPackets<kStopWhenPlayTimeMoves>(buffer, context, limit, PlainStep{context});
}

template <bool kStopWhenPlayTimeMoves>
PlainBatch CheckWatchedPlainPackets(ReadBuffer& buffer, TsContext& context, std::uint32_t limit) {
  return TakePlainPackets<kStopWhenPlayTimeMoves>(buffer, context, limit, WatchedPlainStep{context});
}

template PlainBatch CheckPlainPackets<false>(ReadBuffer&, TsContext&, std::uint32_t);
template PlainBatch CheckPlainPackets<true>(ReadBuffer&, TsContext&, std::uint32_t);
template PlainBatch CheckWatchedPlainPackets<false>(ReadBuffer&, TsContext&, std::uint32_t);
template PlainBatch CheckWatchedPlainPackets<true>(ReadBuffer&, TsContext&, std::uint32_t);

}  // namespace kestrun
