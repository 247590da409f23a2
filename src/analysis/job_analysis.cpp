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
                const std::uint8_t* packet, const FullPacketFacts& facts) {
  if (!analysis.settings.keepEvents) return;
  DropEvent event;
  event.pid = state.pid;
  event.dropCount = state.dropCount;
  event.place = PlaceOf(context, facts.position);
  event.reported = analysis.settings.rule == CountingRule::Default && HasPcrPid(context);
  event.kind = ClassifyDrop(state, watch, packet, ReadCounterFacts(packet), facts.previousCc);
  if (event.kind == DropKind::Gap) {
    event.lostPackets = static_cast<std::uint8_t>((state.cc - facts.previousCc - 1) & 0x0F);
  }
  analysis.drops.Add(event);
}

void RecordContinuityError(JobAnalysis& analysis, const TsContext& context, const PidWatch& watch,
                           const StandardVerdict& verdict, std::uint64_t position) {
  ++analysis.continuityErrorTotal;
  analysis.lostPacketsEstimate += verdict.lostPackets;
  if (!analysis.settings.keepEvents) return;
  DropEvent event;
  event.pid = watch.pid;
  event.dropCount = watch.errors;
  event.place = PlaceOf(context, position);
  event.reported = analysis.settings.rule == CountingRule::Iso;
  event.kind = verdict.kind;
  event.lostPackets = verdict.lostPackets;
  analysis.continuityErrors.Add(event);
  AddToIncidents(analysis.incidents, event.place, ClockRuns(context), watch.pid, verdict.lostPackets);
}

// PCRs (the stream time and both PCR indicators) and PES time stamps.
void WatchClocks(JobAnalysis& analysis, const TsContext& context, const PidState& state, PidWatch& watch,
                 const CounterFacts& counter, const std::optional<std::uint64_t>& now, std::uint64_t position) {
  if (counter.pcr && state.hasAdaptation && state.adaptation.pcrFlag) {
    StreamErrorKind tripped = StreamErrorKind::PcrRepetition;
    if (CheckPcr(watch, state.adaptation.pcrBase, counter.discontinuity, tripped)) {
      NoteStreamError(analysis.streamErrors, tripped, watch.pid, PlaceOf(context, position),
                      analysis.settings.keepEvents);
    }
  }
  if (!watch.listedStream || !now || !state.unitStart || !state.hasPes ||
      (state.clockFeeds & kFeedsPts) == 0) {
    return;
  }
  if (watch.hasPts && *now > watch.lastPtsArrival && *now - watch.lastPtsArrival > kPtsIntervalLimit) {
    NoteStreamError(analysis.streamErrors, StreamErrorKind::PtsRepetition, watch.pid,
                    PlaceOf(context, position), analysis.settings.keepEvents);
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

void PrepareForAnalysis(TsContext& context) {
  context.keepsDescriptors = true;
  context.pidMarks[kCatPid] |= kAnalysedPidMark;
}

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

FullPacketVerdict AnalyseFullPacket(JobAnalysis& analysis, const TsContext& context, PidState& state,
                                    const std::uint8_t* packet, const FullPacketFacts& facts) {
  TrackPosition(analysis, context, facts.position, facts.length);
  NoteTimes(analysis, context, facts.table);
  FullPacketVerdict result;
  PidWatch* watch = WatchPid(analysis, state.pid);
  if (watch == nullptr) return result;
  state.timedPes = watch->listedStream;
  if (facts.drop) RecordDrop(analysis, context, state, *watch, packet, facts);

  const CounterFacts counter = ReadCounterFacts(packet);
  const StandardVerdict verdict = CheckStandardContinuity(state, *watch, packet, counter);
  if (verdict.error) {
    RecordContinuityError(analysis, context, *watch, verdict, facts.position);
    result.continuityError = true;
    result.errorCount = watch->errors;
  }
  if (counter.pcr) FeedStreamClock(analysis.clock, state.pid, state.adaptation.pcrBase, counter.discontinuity);
  const std::optional<std::uint64_t> now = StreamTicks(analysis.clock, context);
  WatchClocks(analysis, context, state, *watch, counter, now, facts.position);

  TablePacket table;
  table.packet = packet;
  table.state = &state;
  table.watch = watch;
  table.facts = &facts;
  table.lost = verdict.error;
  table.copy = verdict.copy;
  table.position = facts.position;
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

void KeepLastPackets(const JobAnalysis& analysis, TsContext& context, const std::uint8_t* begin,
                     const std::uint8_t* end) {
  for (const auto& state : context.pidList) {
    const std::uint8_t* last = state->lastPayloadPacket;
    if (last == nullptr || std::less<>()(last, begin) || !std::less<>()(last, end)) continue;
    // Every PID met the full steps first, where its watch was made.
    PidWatch* watch = analysis.watchIndex[state->pid];
    if (watch == nullptr) {
      state->lastPayloadPacket = nullptr;
      continue;
    }
    std::copy(last, last + kTsPacketSize, watch->kept.begin());
    state->lastPayloadPacket = watch->kept.data();
  }
}

void FinishAnalysis(JobAnalysis& analysis, const TsContext& context) {
  AnalyseAtProgressPace(analysis, context);
  if (ClockRuns(context)) analysis.lastTicks = SelectClock(context).elapsed;
  CloseIncidents(analysis.incidents);
}

}  // namespace kestrun
