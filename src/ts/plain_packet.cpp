#include "ts/plain_packet.h"

namespace kestrun {

void FeedPesClocksAgain(TsContext& context, const PidState& state) { UpdatePesClocks(context, state); }

void DecodeAndFeedClocks(const PacketView& packet, TsContext& context, PidState& state) {
  DecodePacketHeader(packet, state);
  UpdateClocks(context, state);
}

}  // namespace kestrun
