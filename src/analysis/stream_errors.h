// The stream-error indicators: their limits, the log of what fired, and the
// checks that need only a PID's own history. Intervals are measured in
// stream time (stream_clock.h).
//
// The limits suit ISDB (and DVB) broadcasts, which send the PAT and each PMT
// at least every 100 ms and a PCR at least every 100 ms, so a late table or
// PCR means packets were lost or the stream was cut.
#pragma once

#include <cstdint>

#include "analysis/events.h"
#include "analysis/pid_watch.h"

namespace kestrun {

inline constexpr std::uint64_t kTicksPerMillisecond = 90;
inline constexpr std::uint64_t kTableIntervalLimit = 500 * kTicksPerMillisecond;  // PAT, each PMT
inline constexpr std::uint64_t kPcrIntervalLimit = 100 * kTicksPerMillisecond;
inline constexpr std::uint64_t kPcrLeapLimit = 1000 * kTicksPerMillisecond;  // forward, without the indicator
inline constexpr std::uint64_t kPtsIntervalLimit = 700 * kTicksPerMillisecond;
inline constexpr std::uint64_t kStreamAbsenceLimit = 5000 * kTicksPerMillisecond;  // a listed stream

struct StreamErrorLog {
  StreamErrorTallies tallies{};
  CappedList<StreamErrorEvent> events;
  std::uint64_t syncBytesSkipped = 0;

  bool operator==(const StreamErrorLog&) const = default;
};

// Counts one occurrence; the event itself is kept only when `keepEvent`.
void NoteStreamError(StreamErrorLog& log, StreamErrorKind kind, std::uint16_t pid,
                     const StreamPlace& place, bool keepEvent);

// Starts the timer at `now` unless it runs.
void StartTimer(RecurrenceTimer& timer, std::uint64_t now);
// The thing arrived at `now`: true when it came later than `limit` after
// the last arrival and its lateness had not been found by a look already.
bool ArrivedLate(RecurrenceTimer& timer, std::uint64_t now, std::uint64_t limit);
// A look at `now`: true once, when the thing has become overdue.
bool FoundOverdue(RecurrenceTimer& timer, std::uint64_t now, std::uint64_t limit);

// The indicator a PCR trips, given the PID's previous PCR: a step back or a
// leap of more than kPcrLeapLimit is a discontinuity, a step of more than
// kPcrIntervalLimit a repetition error; the discontinuity_indicator excuses
// either. False when it trips none.
bool CheckPcr(PidWatch& watch, std::uint64_t pcrBase, bool discontinuity, StreamErrorKind& tripped);

}  // namespace kestrun
