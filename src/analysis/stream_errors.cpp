#include "analysis/stream_errors.h"

#include "ts/clock.h"

namespace kestrun {

void NoteStreamError(StreamErrorLog& log, StreamErrorKind kind, std::uint16_t pid,
                     const StreamPlace& place, bool keepEvent) {
  const StreamErrorEvent event{kind, pid, place};
  StreamErrorTally& tally = log.tallies[static_cast<std::size_t>(kind)];
  if (tally.count == 0) tally.first = event;
  tally.last = event;
  ++tally.count;
  if (keepEvent) log.events.Add(event);
}

void StartTimer(RecurrenceTimer& timer, std::uint64_t now) {
  if (timer.running) return;
  timer = RecurrenceTimer{true, false, now};
}

bool ArrivedLate(RecurrenceTimer& timer, std::uint64_t now, std::uint64_t limit) {
  const bool late = timer.running && !timer.overdue && now > timer.last && now - timer.last > limit;
  timer = RecurrenceTimer{true, false, now};
  return late;
}

bool FoundOverdue(RecurrenceTimer& timer, std::uint64_t now, std::uint64_t limit) {
  if (!timer.running || timer.overdue || now <= timer.last || now - timer.last <= limit) return false;
  timer.overdue = true;
  return true;
}

bool CheckPcr(PidWatch& watch, std::uint64_t pcrBase, bool discontinuity, StreamErrorKind& tripped) {
  const bool had = watch.hasPcr;
  const std::uint64_t step = (pcrBase - watch.lastPcr) & kTimestampMax;
  watch.hasPcr = true;
  watch.lastPcr = pcrBase;
  if (!had || discontinuity) return false;
  // Modulo 2^33: a step of more than half the range is a step back.
  if (step > kTimestampMax / 2 || step > kPcrLeapLimit) {
    tripped = StreamErrorKind::PcrDiscontinuity;
    return true;
  }
  if (step > kPcrIntervalLimit) {
    tripped = StreamErrorKind::PcrRepetition;
    return true;
  }
  return false;
}

}  // namespace kestrun
