#include "ts/plain_packet.h"

namespace kestrun {

void DecodeAndFeedClocks(const PacketView& packet, TsContext& context, PidState& state) {
  DecodePacketHeader(packet, state);
  UpdateClocks(context, state);
}

}  // namespace kestrun
