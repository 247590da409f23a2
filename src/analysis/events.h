// What the analysis of a job records while the stream is read: drops by the
// default rule, continuity errors by the MPEG-2 systems rule, loss incidents
// and stream errors, each at its place in the stream. Plain records, read by
// every report writer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "support/system_time.h"
#include "ts/clock.h"

namespace kestrun {

// Why a packet's continuity counter did not continue. A drop of the default
// rule has one of these; a continuity error of the MPEG-2 systems rule is a
// Gap or a Repeat (the others are not errors under that rule).
enum class DropKind : std::uint8_t {
  Gap,            // the counter skipped; lostPackets tells how far (modulo 16)
  Duplicate,      // the same counter and bytes as the PID's previous packet, once
  Repeat,         // the same counter, other bytes (or a further copy)
  NoPayload,      // a packet without payload that kept its counter
  Discontinuity,  // discontinuity_indicator set
  NullPid,        // PID 0x1FFF, whose counter means nothing
};

// What a PID carries, as its tables (and the fixed PIDs) tell.
enum class PidKind : std::uint8_t {
  Video,
  Audio,
  Captions,
  Superimpose,  // superimposed text
  Data,
  Psi,          // PAT, CAT, PMT
  Si,           // NIT, SDT, EIT, TDT/TOT and the other service information
  Ecm,
  Emm,
  Null,
  Other,
};
inline constexpr std::size_t kPidKindCount = 11;

// A packet's place in the stream and the times shown for it.
struct StreamPlace {
  // The packet's sync byte: the file offset for a file, else the bytes
  // read before it.
  std::uint64_t offset = 0;
  std::uint64_t ticks = 0;  // elapsed 90 kHz ticks of the play-time clock
  ClockTime playTime;       // as a drop line shows it
  bool hasBroadcastTime = false;
  SystemTime broadcastTime;  // the last TDT/TOT time before the packet

  bool operator==(const StreamPlace&) const = default;
};

// A drop by the default rule, or a continuity error by the MPEG-2 systems
// rule.
struct DropEvent {
  std::uint16_t pid = 0;
  std::uint64_t dropCount = 0;  // the PID's drops (or errors) so far, this one included
  StreamPlace place;
  bool reported = false;  // a drop line was printed for it
  DropKind kind = DropKind::Gap;
  std::uint8_t lostPackets = 0;  // Gap: packets missing, modulo 16 (1 to 15)

  bool operator==(const DropEvent&) const = default;
};

// Gap and Repeat errors of the MPEG-2 systems rule that lie close together,
// on any PIDs: one reception fault.
struct LossIncident {
  StreamPlace first;  // the first error
  StreamPlace last;   // the last error
  std::vector<std::uint16_t> pids;  // the PIDs hit, ascending
  std::uint64_t errors = 0;
  std::uint64_t lostPackets = 0;  // the Gap errors' lostPackets added up
  // What the PIDs hit carry, once per kind, in PidKind order; filled when
  // the job's report is collected (the tables may name a PID late).
  std::vector<PidKind> components;

  bool operator==(const LossIncident&) const = default;
};

// The stream errors a recording can show (the first- and second-priority
// indicators of the DVB measurement guidelines that need no live signal).
enum class StreamErrorKind : std::uint8_t {
  SyncLoss,          // bytes skipped between packets
  PatError,          // PAT late, wrong table_id on PID 0, or scrambled
  PmtError,          // a PMT late, or scrambled
  CrcError,          // a PAT, PMT, CAT or TOT section with a wrong CRC_32
  PcrRepetition,     // two PCRs of a PID too far apart
  PcrDiscontinuity,  // a PCR stepping back or leaping without the indicator
  PtsRepetition,     // two PES time stamps of a PID too far apart
  PidError,          // an elementary stream of a PMT absent too long
};
inline constexpr std::size_t kStreamErrorKindCount = 8;

inline constexpr std::uint16_t kNoPid = 0xFFFF;

struct StreamErrorEvent {
  StreamErrorKind kind = StreamErrorKind::SyncLoss;
  std::uint16_t pid = kNoPid;  // kNoPid: not tied to one PID (sync loss)
  StreamPlace place;

  bool operator==(const StreamErrorEvent&) const = default;
};

// One indicator: how often it fired, and its first and last occurrence
// (meaningful once count > 0).
struct StreamErrorTally {
  std::uint64_t count = 0;
  StreamErrorEvent first;
  StreamErrorEvent last;

  bool operator==(const StreamErrorTally&) const = default;
};
using StreamErrorTallies = std::array<StreamErrorTally, kStreamErrorKindCount>;

// The most entries an event list keeps; the rest are only counted, so a
// stream with a fault every few packets cannot grow the process without end.
inline constexpr std::size_t kEventListLimit = 100'000;

// The first kEventListLimit events in stream order and the count of the
// rest. Storage may fail; the count of what is missing stays exact.
template <typename Event>
struct CappedList {
  std::vector<Event> items;
  std::uint64_t omitted = 0;

  void Add(Event event) {
    if (items.size() >= kEventListLimit) {
      ++omitted;
      return;
    }
    try {
      items.push_back(std::move(event));
    } catch (const std::bad_alloc&) {
      ++omitted;
    }
  }
  std::uint64_t Total() const { return items.size() + omitted; }

  bool operator==(const CappedList&) const = default;
};

}  // namespace kestrun
