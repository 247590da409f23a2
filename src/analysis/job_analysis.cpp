#include "analysis/job_analysis.h"

#include <algorithm>
#include <new>

#include "analysis/standard_continuity.h"
#include "analysis/table_watch.h"

namespace kestrun {
namespace {

bool ClockRuns(const TsContext& context) { return SelectClock(context).base != 0; }

void TrackPosition(JobAnalysis& analysis, const TsContext& context, std::uint64_t position,
                   std::uint32_t length) {
  if (analysis.seenPacket && position > analysis.packetEnd) {
    analysis.streamErrors.syncBytesSkipped += position - analysis.packetEnd;
    NoteStreamError(analysis.streamErrors, StreamErrorKind::SyncLoss, kNoPid, PlaceOf(context, position),
                    analysis.settings.keepEvents);
  }
  analysis.seenPacket = true;
  analysis.packetEnd = position + length;
}

void RecordDrop(JobAnalysis& analysis, const TsContext& context, const PidState& state, const PidWatch& watch,
                const std::uint8_t* packet, const FullPacketFacts& facts, const StreamPlace& place) {
  if (!analysis.settings.keepEvents) return;
  DropEvent event;
  event.pid = state.pid;
  event.dropCount = state.dropCount;
  event.place = place;
  event.reported = analysis.settings.rule == CountingRule::Default && HasPcrPid(context);
  event.kind = ClassifyDrop(watch, packet, ReadCounterFacts(packet), facts.previousCc);
  if (event.kind == DropKind::Gap) {
    event.lostPackets = static_cast<std::uint8_t>((state.cc - facts.previousCc - 1) & 0x0F);
  }
  analysis.drops.Add(event);
}

void RecordContinuityError(JobAnalysis& analysis, const TsContext& context, const PidWatch& watch,
                           const StandardVerdict& verdict, const StreamPlace& place) {
  ++analysis.continuityErrorTotal;
  analysis.lostPacketsEstimate += verdict.lostPackets;
  if (!analysis.settings.keepEvents) return;
  DropEvent event;
  event.pid = watch.pid;
  event.dropCount = watch.errors;
  event.place = place;
  event.reported = analysis.settings.rule == CountingRule::Iso;
  event.kind = verdict.kind;
  event.lostPackets = verdict.lostPackets;
  analysis.continuityErrors.Add(event);
  AddToIncidents(analysis.incidents, place, ClockRuns(context), watch.pid, verdict.lostPackets);
}

// PCRs (the stream time and both PCR indicators) and PES time stamps.
void WatchClocks(JobAnalysis& analysis, const PidState& state, PidWatch& watch, const CounterFacts& counter,
                 const std::optional<std::uint64_t>& now, const StreamPlace& place) {
  if (counter.pcr && state.hasAdaptation && state.adaptation.pcrFlag) {
    StreamErrorKind tripped = StreamErrorKind::PcrRepetition;
    if (CheckPcr(watch, state.adaptation.pcrBase, counter.discontinuity, tripped)) {
      NoteStreamError(analysis.streamErrors, tripped, watch.pid, place, analysis.settings.keepEvents);
    }
  }
  if (!watch.listedStream || !now || !state.unitStart || !state.hasPes ||
      (state.clockFeeds & kFeedsPts) == 0) {
    return;
  }
  if (watch.hasPts && *now - watch.lastPtsArrival > kPtsIntervalLimit) {
    NoteStreamError(analysis.streamErrors, StreamErrorKind::PtsRepetition, watch.pid, place,
                    analysis.settings.keepEvents);
  }
  watch.hasPts = true;
  watch.lastPtsArrival = *now;
}

void NoteTimes(JobAnalysis& analysis, const TsContext& context, TableResult table) {
  if (!analysis.hasPlayTime && ClockRuns(context)) {
    analysis.hasPlayTime = true;
    analysis.firstTicks = SelectClock(context).elapsed;
  }
  if (table == TableResult::TotAccepted && !analysis.hasBroadcastTime) {
    analysis.hasBroadcastTime = true;
    analysis.firstBroadcastTime = context.totLocalTime;
  }
}

}  // namespace

PidWatch* WatchPid(JobAnalysis& analysis, std::uint16_t pid) {
  PidWatch*& slot = analysis.watchIndex[pid & 0x1FFF];
  if (slot != nullptr) return slot;
  try {
    auto watch = std::make_unique<PidWatch>();
    watch->pid = pid;
    analysis.watches.push_back(std::move(watch));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  slot = analysis.watches.back().get();
  return slot;
}

StreamPlace PlaceOf(const TsContext& context, std::uint64_t position) {
  StreamPlace place;
  place.offset = position;
  const TimestampClock& clock = SelectClock(context);
  place.ticks = clock.elapsed;
  place.playTime = clock.time;
  place.hasBroadcastTime = context.totSeconds > 0;
  place.broadcastTime = context.totLocalTime;
  return place;
}

FullPacketVerdict AnalyseFullPacket(JobAnalysis& analysis, const TsContext& context, const PidState& state,
                                    const std::uint8_t* packet, const FullPacketFacts& facts) {
  TrackPosition(analysis, context, facts.position, facts.length);
  NoteTimes(analysis, context, facts.table);
  FullPacketVerdict result;
  PidWatch* watch = WatchPid(analysis, state.pid);
  if (watch == nullptr) return result;
  const StreamPlace place = PlaceOf(context, facts.position);
  if (facts.drop) RecordDrop(analysis, context, state, *watch, packet, facts, place);

  const CounterFacts counter = ReadCounterFacts(packet);
  const std::uint64_t copiesBefore = watch->copiedMark;
  const StandardVerdict verdict = CheckStandardContinuity(*watch, packet, counter);
  if (verdict.error) {
    RecordContinuityError(analysis, context, *watch, verdict, place);
    result.continuityError = true;
    result.errorCount = watch->errors;
  }
  if (counter.pcr) FeedStreamClock(analysis.clock, state.pid, state.adaptation.pcrBase, counter.discontinuity);
  const std::optional<std::uint64_t> now = StreamTicks(analysis.clock, context);
  WatchClocks(analysis, state, *watch, counter, now, place);

  TablePacket table;
  table.packet = packet;
  table.state = &state;
  table.watch = watch;
  table.facts = &facts;
  table.lost = verdict.error;
  table.copy = watch->copiedMark != copiesBefore;
  table.place = place;
  table.now = now;
  WatchTables(analysis, context, table);
  return result;
}

void AnalyseDamagedPacket(JobAnalysis& analysis, const TsContext& context, std::uint64_t position,
                          std::uint32_t length) {
  TrackPosition(analysis, context, position, length);
}

void AnalyseAtProgressPace(JobAnalysis& analysis, const TsContext& context) {
  if (const std::optional<std::uint64_t> now = StreamTicks(analysis.clock, context)) {
    LookForAbsences(analysis, context, *now);
  }
}

void KeepReferences(JobAnalysis& analysis, const std::uint8_t* begin, const std::uint8_t* end) {
  for (const auto& watch : analysis.watches) {
    const std::uint8_t* reference = watch->reference;
    if (reference == nullptr || reference == watch->kept.data()) continue;
    if (std::less<>()(reference, begin) || !std::less<>()(reference, end)) continue;
    std::copy(reference, reference + kTsPacketSize, watch->kept.begin());
    watch->reference = watch->kept.data();
  }
}

void FinishAnalysis(JobAnalysis& analysis, const TsContext& context) {
  AnalyseAtProgressPace(analysis, context);
  if (ClockRuns(context)) analysis.lastTicks = SelectClock(context).elapsed;
  CloseIncidents(analysis.incidents);
}

}  // namespace kestrun
