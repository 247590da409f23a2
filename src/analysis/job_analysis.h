// The derived analysis of one job, beside the checker's own: drops sorted by
// kind, the MPEG-2 systems continuity count, loss incidents, stream errors,
// and the play and broadcast time the stream spans. Fed by the packet loop
// with what it already sees; pure code like the TS analysis (no I/O, no
// globals, results as return values).
//
// The plain-packet lane (plain_lane.h) takes the packets that tell the
// analysis nothing new: they continue their PID's counter under both rules
// and carry payload but no adaptation field and no unit start. Everything
// else goes through the full steps and AnalyseFullPacket.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/events.h"
#include "analysis/incidents.h"
#include "analysis/pid_watch.h"
#include "analysis/stream_clock.h"
#include "analysis/stream_errors.h"
#include "support/job_settings.h"
#include "ts/dispatch.h"
#include "ts/ts_context.h"

namespace kestrun {

struct AnalysisSettings {
  CountingRule rule = CountingRule::Default;  // the rule the console follows
  bool keepEvents = false;  // a report is written: keep the events, not only their counts

  bool operator==(const AnalysisSettings&) const = default;
};

struct JobAnalysis {
  explicit JobAnalysis(AnalysisSettings analysisSettings) : settings(analysisSettings) {}
  JobAnalysis(const JobAnalysis&) = delete;
  JobAnalysis& operator=(const JobAnalysis&) = delete;

  AnalysisSettings settings;
  std::array<PidWatch*, kPidCount> watchIndex{};    // PID -> its watch, for the lane
  std::vector<std::unique_ptr<PidWatch>> watches;  // in order of first appearance

  CappedList<DropEvent> drops;             // default rule
  CappedList<DropEvent> continuityErrors;  // systems rule
  std::uint64_t continuityErrorTotal = 0;
  std::uint64_t lostPacketsEstimate = 0;
  IncidentGrouping incidents;
  StreamErrorLog streamErrors;
  StreamClock clock;

  // Tables: PAT arrivals, the PMT PIDs and elementary streams being
  // watched, and the sections the packet loop does not collect (the CAT for
  // its EMM PIDs, the TOT for its CRC_32).
  RecurrenceTimer patArrivals;
  std::vector<std::uint16_t> listedPmtPids;
  std::vector<std::uint16_t> listedStreamPids;
  std::uint32_t listRound = 0;
  std::uint64_t streamsSignature = 0;  // of the PMTs the streams were listed from
  PidState catSections;
  PidState totSections;
  std::vector<std::uint16_t> emmPids;

  bool seenPacket = false;
  std::uint64_t packetEnd = 0;  // stream position after the last packet

  bool hasPlayTime = false;
  std::uint64_t firstTicks = 0;
  std::uint64_t lastTicks = 0;
  bool hasBroadcastTime = false;
  SystemTime firstBroadcastTime;
};

// Has the context keep the PMTs' descriptors, and sends the packets of the
// tables the analysis collects itself (the CAT) to the full steps; called
// once, before the first packet.
void PrepareForAnalysis(TsContext& context);

// The watch of a PID, made on its first appearance; null when it cannot be.
PidWatch* WatchPid(JobAnalysis& analysis, std::uint16_t pid);

// What the packet loop tells of a packet it put through the full steps.
struct FullPacketFacts {
  std::uint64_t position = 0;  // stream position of its sync byte (a file offset for a file)
  std::uint32_t length = 0;    // 188 or 192
  std::uint8_t previousCc = 0;  // the PID's last counter under the default rule before it
  bool drop = false;            // the default rule counted a drop
  TableResult table = TableResult::None;
  bool tablesRead = false;  // it was inside the play-time windows
};

struct FullPacketVerdict {
  bool continuityError = false;  // by the systems rule
  std::uint64_t errorCount = 0;  // the PID's continuity errors, this one included
};

// An undamaged packet after the full steps (ParsePacket, CheckContinuity,
// the clocks and the tables).
FullPacketVerdict AnalyseFullPacket(JobAnalysis& analysis, const TsContext& context, PidState& state,
                                    const std::uint8_t* packet, const FullPacketFacts& facts);

// A packet the full steps passed by (transport_error_indicator set).
void AnalyseDamagedPacket(JobAnalysis& analysis, const TsContext& context, std::uint64_t position,
                          std::uint32_t length);

// After a run of the plain-packet lane that ended at `endPosition`.
inline void AnalysePlainRun(JobAnalysis& analysis, std::uint64_t endPosition) {
  analysis.seenPacket = true;
  analysis.packetEnd = endPosition;
}

// The looks that need no packet (tables and streams overdue), at the pace of
// the progress line.
void AnalyseAtProgressPace(JobAnalysis& analysis, const TsContext& context);

// Copies the PIDs' last packets with payload that lie in [begin, end) before
// the reader replaces that data.
void KeepLastPackets(const JobAnalysis& analysis, TsContext& context, const std::uint8_t* begin,
                     const std::uint8_t* end);

// At the end of the job: the last looks, and the open incident closed.
void FinishAnalysis(JobAnalysis& analysis, const TsContext& context);

// Where a packet at `position` lies, with the times the drop line shows.
StreamPlace PlaceOf(const TsContext& context, std::uint64_t position);

}  // namespace kestrun
