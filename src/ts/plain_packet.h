// The commonest packet of a stream, analysed in one step: an undamaged
// packet of a PID that already has its record and no table role (not the
// PAT, TDT/TOT or a PMT PID) and, unless it is a PCR PID (left out of the
// check), continues its PID's counter. Such a packet cannot be a drop and
// reaches no table handler; all it changes is its PID's record and the
// clocks. The packet loop runs long stretches of them through here and
// everything else through the full steps.
#pragma once

#include <cstdint>

#include "ts/dispatch.h"
#include "ts/packet.h"
#include "ts/ts_context.h"

namespace kestrun {

// UpdatePesClocks out of line, for the one case RefeedPesClocks feeds.
[[gnu::cold]] void FeedPesClocksAgain(TsContext& context, const PidState& state);

// UpdatePesClocks for a packet whose PES header fields are those its PID
// had at its previous packet. Nothing is fed again while the clocks still
// hold what this PID fed them (no other PID has fed them since), nor for a
// PID without time stamps: either way the feed would change nothing.
// A PID without time stamps stands for the last feeder, so the two tests
// make one branch: with PIDs that feed and PIDs that do not interleaved at
// random, a branch on either alone would often go the unexpected way.
// (The empty asm hides the mask's origin from the compiler, which would
// otherwise split the test into the two branches again.)
inline void RefeedPesClocks(TsContext& context, const PidState& state) {
  std::uintptr_t feeds = state.clockFeeds != 0 ? ~std::uintptr_t{0} : 0;
  __asm__("" : "+r"(feeds));
  const std::uintptr_t differs = reinterpret_cast<std::uintptr_t>(context.pesClockFeeder) ^
                                 reinterpret_cast<std::uintptr_t>(&state);
  if ((differs & feeds) != 0) FeedPesClocksAgain(context, state);
}

// For a packet that starts a unit or carries a PCR: the full header decode
// and every clock it feeds, as ParsePacket and UpdateClocks do them.
[[gnu::cold]] void DecodeAndFeedClocks(const PacketView& packet, TsContext& context, PidState& state);

// True when `packet` (its sync byte already checked) is such a packet: its
// PID's counts, last counter and the clocks are then as ParsePacket,
// CheckContinuity and UpdateClocks would have left them. False, with
// nothing changed, for any other packet, which is left to those steps.
// A packet that neither starts a unit nor carries a PCR leaves the fields a
// record keeps of its current packet's header as they were: only the table
// handlers read them, for the packet the full steps have just decoded.
//
// With kWatched (a job whose analysis runs) the packet must also be one the
// analysis has nothing to learn from: it carries payload but neither a PCR
// nor a discontinuity_indicator, does not start a PES packet whose time
// stamps the analysis times (PidState::timedPes), and continues its PID's
// counter under the MPEG-2 systems rule as well (a PCR PID included); its
// record then also keeps that counter, the packet's place and the count of
// packets with payload, as the analysis's full steps would.
//
// The header bytes are read once into locals: the record's byte fields
// could alias the packet, and a store would make the compiler read them
// again.
template <bool kWatched = false>
[[gnu::always_inline]] inline bool AnalysePlainPacket(const std::uint8_t* packet, TsContext& context) {
  using namespace packet_header;
  constexpr std::uint16_t kTransportError = 0x8000;
  constexpr std::uint16_t kUnitStart = 0x4000;
  constexpr std::uint8_t kScramblingBits = 0xC0;
  constexpr std::uint8_t kAdaptationBit = kAdaptationPresent << 4;
  constexpr std::uint8_t kPayloadBit = kPayloadPresent << 4;
  constexpr std::uint8_t kDiscontinuityBit = 0x80;
  const auto word = static_cast<std::uint16_t>(packet[1] << 8 | packet[2]);
  const std::uint8_t control = packet[3];
  if ((word & kTransportError) != 0) return false;
  if constexpr (kWatched) {
    if ((control & kPayloadBit) == 0) return false;
    if ((control & kAdaptationBit) != 0 && packet[kAdaptationLengthOffset] != 0 &&
        (packet[kAdaptationFlagsOffset] & (kPcrFlagBit | kDiscontinuityBit)) != 0) {
      return false;
    }
  }
  const auto pid = static_cast<std::uint16_t>(word & 0x1FFF);
  const std::uint8_t marks = context.pidMarks[pid];
  if ((marks & ~kPcrPidMark) != 0) return false;
  PidState* state = context.pidIndex[pid];
  if (state == nullptr) return false;
  if constexpr (kWatched) {
    if ((control & 0x0F) != state->nextCc || ((word & kUnitStart) != 0 && state->timedPes)) return false;
  }
  // A PCR PID is not checked, so neither its first packet nor its counter
  // matters; any other must continue its counter (last one plus 1, mod 16).
  const bool checked = marks == 0;
  if (checked && (state->first || ((control - state->lastCc - 1) & 0x0F) != 0)) return false;
  // (A packet with a PCR never reaches here when watched.)
  if ((word & kUnitStart) != 0 ||
      (!kWatched && (control & kAdaptationBit) != 0 && packet[kAdaptationLengthOffset] != 0 &&
       (packet[kAdaptationFlagsOffset] & kPcrFlagBit) != 0)) {
    DecodeAndFeedClocks(PacketView(packet), context, *state);
  } else {
    if ((control & kScramblingBits) != 0) ++state->scrambledCount;
    RefeedPesClocks(context, *state);
  }
  if (checked) {
    ++state->totalCount;
    state->lastCc = static_cast<std::uint8_t>(control & 0x0F);
  }
  if constexpr (kWatched) {
    state->nextCc = static_cast<std::uint8_t>((control + 1) & 0x0F);
    state->lastPayloadPacket = packet;
    ++state->payloadPackets;
  }
  return true;
}

}  // namespace kestrun
