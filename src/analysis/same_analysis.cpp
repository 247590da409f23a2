#include "analysis/same_analysis.h"

#include <tuple>

#include "ts/same_state.h"

namespace kestrun {
namespace {

// A watch's copy of its PID's last packet is taken when the reader is about
// to replace the data the packet lies in, which depends on how the bytes
// were read; the packet itself is compared through the PID's record.
bool SameWatch(const PidWatch& a, const PidWatch& b) {
  PidWatch x = a;
  x.kept = b.kept;
  return x == b;
}

bool SameWatches(const std::vector<std::unique_ptr<PidWatch>>& a,
                 const std::vector<std::unique_ptr<PidWatch>>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!SameWatch(*a[i], *b[i])) return false;
  }
  return true;
}

}  // namespace

bool SameJobAnalysis(const JobAnalysis& a, const JobAnalysis& b) {
  // Every member is bound: a member added to JobAnalysis without its place
  // here does not compile.
  const auto& [settings, watchIndex, watches, drops, continuityErrors, continuityErrorTotal,
               lostPacketsEstimate, incidents, streamErrors, clock, patArrivals, listedPmtPids,
               listedStreamPids, listRound, streamsSignature, catSections, totSections, emmPids, seenPacket,
               packetEnd, hasPlayTime, firstTicks, lastTicks, hasBroadcastTime, firstBroadcastTime] = a;
  const auto& [bSettings, bWatchIndex, bWatches, bDrops, bContinuityErrors, bContinuityErrorTotal,
               bLostPacketsEstimate, bIncidents, bStreamErrors, bClock, bPatArrivals, bListedPmtPids,
               bListedStreamPids, bListRound, bStreamsSignature, bCatSections, bTotSections, bEmmPids,
               bSeenPacket, bPacketEnd, bHasPlayTime, bFirstTicks, bLastTicks, bHasBroadcastTime,
               bFirstBroadcastTime] = b;
  const bool sameValues =
      std::tie(settings, drops, continuityErrors, continuityErrorTotal, lostPacketsEstimate, incidents,
               streamErrors, clock, patArrivals, listedPmtPids, listedStreamPids, listRound, streamsSignature,
               emmPids, seenPacket, packetEnd, hasPlayTime, firstTicks, lastTicks, hasBroadcastTime,
               firstBroadcastTime) ==
      std::tie(bSettings, bDrops, bContinuityErrors, bContinuityErrorTotal, bLostPacketsEstimate, bIncidents,
               bStreamErrors, bClock, bPatArrivals, bListedPmtPids, bListedStreamPids, bListRound,
               bStreamsSignature, bEmmPids, bSeenPacket, bPacketEnd, bHasPlayTime, bFirstTicks, bLastTicks,
               bHasBroadcastTime, bFirstBroadcastTime);
  return sameValues && SamePidIndexes(watchIndex, bWatchIndex) && SameWatches(watches, bWatches) &&
         SamePidState(catSections, bCatSections) && SamePidState(totSections, bTotSections);
}

}  // namespace kestrun
