// The analysis state of one job: the per-PID records, the PCR PIDs exempt
// from the continuity check, the program list, the broadcast time and the
// three stream clocks. Pure code: every call works on the records handed in.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "support/system_time.h"
#include "ts/clock.h"
#include "ts/local_time_rules.h"
#include "ts/packet.h"
#include "ts/packet_header.h"
#include "ts/pid_state.h"
#include "ts/section.h"
#include "ts/tables.h"

namespace kestrun {

inline constexpr std::size_t kPcrPidSlots = 8;
inline constexpr std::uint8_t kPcrPidMark = 0x01;
inline constexpr std::uint8_t kPmtPidMark = 0x02;
inline constexpr std::uint8_t kTablePidMark = 0x04;  // PAT and TDT/TOT, from the start
// A PID whose every packet the job's analysis reads (the CAT), when it runs.
inline constexpr std::uint8_t kAnalysedPidMark = 0x08;
inline constexpr std::uint16_t kFreePcrSlot = 0xFFFF;
using PcrPidList = std::array<std::uint16_t, kPcrPidSlots>;

// Records in order of first appearance (the order of the summary).
using PidList = std::vector<std::unique_ptr<PidState>>;
using ProgramList = std::vector<ProgramEntry>;

// A PID whose packets have all arrived damaged so far: it has no record (and
// no summary line), only its count of transport_error_indicator packets.
struct DamagedPid {
  std::uint16_t pid = 0;
  std::uint64_t teiCount = 0;
};

struct TsContext {
  TsContext() {
    pcrPids.fill(kFreePcrSlot);
    pidMarks[kPatPid] = kTablePidMark;
    pidMarks[kTotPid] = kTablePidMark;
  }
  TsContext(const TsContext&) = delete;
  TsContext& operator=(const TsContext&) = delete;

  std::int32_t key = 0;
  PcrPidList pcrPids;  // filled from the front

  // Wrap-around prediction.
  std::int64_t wrapTime = 0;  // seconds since 1970 UTC; 0 = none
  SystemTime wrapLocalTime;
  bool wrapPending = false;  // made but not yet announced

  PidList pidList;
  std::array<PidState*, kPidCount> pidIndex{};  // PID -> record in pidList
  ProgramList programList;                      // in PAT order
  std::vector<DamagedPid> damagedOnly;          // in order of first appearance
  std::vector<ProgramStreams> pmtPrograms;      // from the last valid PMT of each program
  bool keepsDescriptors = false;                // pmtPrograms keep the PMTs' descriptors

  // The roles a PID has in the analysis, asked by PID for the packet loop:
  // kPcrPidMark and kPmtPidMark bits, kept in step with pcrPids and
  // programList by AddPcrPid and ProcessPat, and kTablePidMark for the PAT
  // and TDT/TOT PIDs, and kAnalysedPidMark. A PID without marks goes to no
  // table handler.
  std::array<std::uint8_t, kPidCount> pidMarks{};

  // Last accepted TDT/TOT.
  std::int64_t totSeconds = 0;
  SystemTime totLocalTime;

  TimestampClock pcrClock;
  TimestampClock ptsClock;
  TimestampClock dtsClock;
  // The PID whose PES time stamps were offered to ptsClock and dtsClock
  // last (UpdatePesClocks); null before any.
  const PidState* pesClockFeeder = nullptr;

  LocalTimeRules localTime;
};

using TsContextList = std::vector<std::unique_ptr<TsContext>>;

// The context with this key, or a new one appended to the list; null when
// it cannot be allocated.
TsContext* CreateContext(TsContextList& list, std::int32_t key, LocalTimeRules rules);
void FreeContext(TsContextList& list);

// ParsePacket for a packet whose PID has no record yet or whose
// transport_error_indicator is set; the sync byte has been checked.
PidState* ParseFirstOrDamagedPacket(const PacketView& packet, TsContext& context);

// Decodes the header of one 188-byte packet into the record of its PID
// (created on the PID's first appearance). Null when the sync byte is wrong,
// the transport_error_indicator is set, or a new record cannot be allocated.
// Runs for every packet: a known PID is one look-up in the PID index.
inline PidState* ParsePacket(const std::uint8_t* packet, TsContext& context) {
  if (packet == nullptr || packet[0] != kSyncByte) return nullptr;
  const PacketView view(packet);
  PidState* state = context.pidIndex[view.Pid()];
  if (state == nullptr || view.TransportError()) return ParseFirstOrDamagedPacket(view, context);
  DecodePacketHeader(view, *state);
  return state;
}

// The record of a PID, or null when the PID has not been seen.
PidState* FindPidState(const TsContext& context, std::uint16_t pid);

bool AddPcrPid(TsContext& context, std::uint16_t pid);

inline bool IsPcrPid(const TsContext& context, std::uint16_t pid) {
  return pid < kPidCount && (context.pidMarks[pid] & kPcrPidMark) != 0;
}

// True when this packet counts as a drop.
inline bool CheckContinuity(const TsContext& context, PidState& state) {
  // PCR PIDs often carry adaptation-only packets whose counter does not
  // advance; they are left out of the check altogether.
  if (IsPcrPid(context, state.pid)) return false;
  state.dropFlag = false;
  const std::uint8_t expected = (state.lastCc + 1) & 0x0F;
  if (!state.first && state.cc != expected) {
    ++state.dropCount;
    state.dropFlag = true;
  }
  ++state.totalCount;
  state.lastCc = state.cc;
  state.first = false;
  return state.dropFlag;
}
// Drop lines are reported once at least one PCR PID is known.
inline bool HasPcrPid(const TsContext& context) { return context.pcrPids[0] != kFreePcrSlot; }

// The first program whose PMT is carried on `pid`; null for PID 0. Asked
// for every packet.
inline const ProgramEntry* FindProgramByPmtPid(const TsContext& context, std::uint16_t pid) {
  if (pid == kPatPid || pid >= kPidCount || (context.pidMarks[pid] & kPmtPidMark) == 0) return nullptr;
  for (const ProgramEntry& entry : context.programList) {
    if (entry.pmtPid == pid) return &entry;
  }
  return nullptr;
}

}  // namespace kestrun
