// Decoding of the packet header, the adaptation field and the PES header
// into a PID's record.
#pragma once

#include <cstddef>

#include "ts/packet.h"
#include "ts/pid_state.h"

namespace kestrun {

// Fills the per-packet fields of `state` from the packet and sets `parsed`.
void DecodePacketHeader(const PacketView& packet, PidState& state);

// True when the three bytes at `offset` are the PES start code 00 00 01.
bool StartsPes(const PacketView& packet, std::size_t offset);

// Decodes the PES header whose start code stands at `offset`; fields that
// would lie past the end of the packet stay 0.
void DecodePesHeader(const PacketView& packet, std::size_t offset, PesHeaderInfo& pes);

}  // namespace kestrun
