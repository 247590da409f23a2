#include "analysis/standard_continuity.h"

#include <cstring>

namespace kestrun {
namespace {

constexpr std::size_t kPcrStart = 6;
constexpr std::size_t kPcrEnd = 12;  // base, reserved bits and extension

bool CopyOfLastPacket(const PidState& state, const PidWatch& watch, const std::uint8_t* packet) {
  return state.lastPayloadPacket != nullptr && watch.copiedMark != state.payloadPackets &&
         SameExceptPcr(state.lastPayloadPacket, packet);
}

// The packet becomes the one the next is expected to follow.
void Advance(PidState& state, const std::uint8_t* packet, std::uint8_t cc) {
  state.nextCc = static_cast<std::uint8_t>((cc + 1) & 0x0F);
  state.lastPayloadPacket = packet;
  ++state.payloadPackets;
}

}  // namespace

CounterFacts ReadCounterFacts(const std::uint8_t* packet) {
  const PacketView view(packet);
  CounterFacts facts;
  facts.pid = view.Pid();
  facts.cc = view.ContinuityCounter();
  facts.payload = (view.AdaptationControl() & kPayloadPresent) != 0;
  if ((view.AdaptationControl() & kAdaptationPresent) != 0 && view.Byte(4) != 0) {
    const std::uint8_t flags = view.Byte(5);
    facts.discontinuity = (flags & 0x80) != 0;
    facts.pcr = (flags & 0x10) != 0;
  }
  return facts;
}

bool SameExceptPcr(const std::uint8_t* a, const std::uint8_t* b) {
  // Equal bytes up to the PCR field mean the same adaptation field layout.
  if (std::memcmp(a, b, kPcrStart) != 0) return false;
  const CounterFacts facts = ReadCounterFacts(a);
  const std::size_t from = facts.pcr ? kPcrEnd : kPcrStart;
  return std::memcmp(a + from, b + from, kTsPacketSize - from) == 0;
}

DropKind ClassifyDrop(const PidState& state, const PidWatch& watch, const std::uint8_t* packet,
                      const CounterFacts& facts, std::uint8_t previousCc) {
  if (facts.pid == kNullPacketPid) return DropKind::NullPid;
  if (facts.discontinuity) return DropKind::Discontinuity;
  if (facts.cc != previousCc) return DropKind::Gap;
  if (!facts.payload) return DropKind::NoPayload;
  // A copy of the PID's previous packet, which must then have been its last
  // packet with payload (no packet without payload after it).
  if (watch.noPayloadMark != state.payloadPackets && CopyOfLastPacket(state, watch, packet)) {
    return DropKind::Duplicate;
  }
  return DropKind::Repeat;
}

StandardVerdict CheckStandardContinuity(PidState& state, PidWatch& watch, const std::uint8_t* packet,
                                        const CounterFacts& facts) {
  StandardVerdict verdict;
  if (!facts.payload) {
    ++watch.noPayloadPackets;
    watch.noPayloadMark = state.payloadPackets;
    return verdict;
  }
  const bool follows = state.nextCc != kNoNextCc && facts.pid != kNullPacketPid && !facts.discontinuity;
  if (follows && facts.cc != state.nextCc) {
    const auto lastCc = static_cast<std::uint8_t>((state.nextCc - 1) & 0x0F);
    if (facts.cc == lastCc && CopyOfLastPacket(state, watch, packet)) {
      // The one copy allowed: the expectation stays.
      state.lastPayloadPacket = packet;
      ++state.payloadPackets;
      watch.copiedMark = state.payloadPackets;
      verdict.copy = true;
      return verdict;
    }
    verdict.error = true;
    verdict.kind = facts.cc == lastCc ? DropKind::Repeat : DropKind::Gap;
    if (verdict.kind == DropKind::Gap) {
      verdict.lostPackets = static_cast<std::uint8_t>((facts.cc - state.nextCc) & 0x0F);
    }
    ++watch.errors;
  }
  Advance(state, packet, facts.cc);
  return verdict;
}

}  // namespace kestrun
