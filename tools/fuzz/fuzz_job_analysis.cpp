// A job's derived analysis fed arbitrary packets as the worker feeds it:
// every packet through the full steps and AnalyseFullPacket, with the looks
// at the pace of the progress line; then each PID's kind and name from
// whatever tables arrived.
//
// Input layout: 188-byte packets, taken as they are (also those without a
// sync byte, which the reader would never hand out and are skipped).
//
// Besides crashing, the analysis must keep these promises:
// - a PID's continuity errors never exceed its packets with payload, and
//   the null PID has none;
// - the event lists never pass their limit, and with what they left out
//   they add up to the counts;
// - an incident's PIDs are ascending and its errors add up to the total;
// - a second context and analysis that take each packet the plain-packet
//   lane's way where they can (AnalysePlainPacket<true>) end every packet
//   with the same state of both continuity rules and the same watches.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "analysis/job_analysis.h"
#include "analysis/pid_kinds.h"
#include "analysis/same_analysis.h"
#include "ts/civil_date.h"
#include "ts/dispatch.h"
#include "ts/plain_packet.h"
#include "ts/same_state.h"
#include "ts/ts_context.h"

namespace kestrun {
namespace {

constexpr std::uint32_t kProgressInterval = 1000;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool ToEpoch(const SystemTime& local, std::int64_t* seconds) {
  if (local.month < 1 || local.month > 12 || local.day < 1 || local.day > 31) return false;
  *seconds = DaysFromCivil({local.year, local.month, local.day}) * 86400 + local.hour * 3600 +
             local.minute * 60 + local.second;
  return true;
}

bool ToLocal(std::int64_t seconds, SystemTime* local) { return UtcFromEpoch(seconds, local); }

struct Job {
  Job() : context(CreateContext(contexts, 0, LocalTimeRules{ToEpoch, ToLocal})) {
    Check(context != nullptr);
    PrepareForAnalysis(*context);
  }
  TsContextList contexts;
  TsContext* context;
  JobAnalysis analysis{AnalysisSettings{CountingRule::Default, true}};
  std::uint32_t passes = 0;
};

void FullSteps(Job& job, const std::uint8_t* packet, std::uint64_t position) {
  TsContext& context = *job.context;
  PidState* state = ParsePacket(packet, context);
  if (state == nullptr || !state->parsed) {
    AnalyseDamagedPacket(job.analysis, context, position, kTsPacketSize);
    return;
  }
  FullPacketFacts facts;
  facts.position = position;
  facts.length = kTsPacketSize;
  facts.previousCc = state->lastCc;
  facts.drop = CheckContinuity(context, *state);
  UpdateClocks(context, *state);
  facts.table = DispatchTables(packet, context, *state);
  facts.tablesRead = true;
  const std::uint64_t errorsBefore = job.analysis.continuityErrorTotal;
  const FullPacketVerdict verdict = AnalyseFullPacket(job.analysis, context, *state, packet, facts);
  Check(job.analysis.continuityErrorTotal == errorsBefore + (verdict.continuityError ? 1 : 0));
  if (++job.passes > kProgressInterval && !(facts.drop && HasPcrPid(context))) {
    job.passes = 0;
    AnalyseAtProgressPace(job.analysis, context);
  }
}

// The lane where it can, else the full steps; a packet the lane takes is a
// pass like any other. As in the packet loop, only a packet right behind the
// one before can take the lane (the reader hands the first packet after
// skipped bytes to the full steps).
void LaneOrFullSteps(Job& job, const std::uint8_t* packet, std::uint64_t position) {
  if (job.passes < kProgressInterval && position == job.analysis.packetEnd &&
      AnalysePlainPacket<true>(packet, *job.context)) {
    ++job.passes;
    AnalysePlainRun(job.analysis, position + kTsPacketSize);
    return;
  }
  FullSteps(job, packet, position);
}

// The whole state: the context with every PID record, and the analysis.
void CheckSameAsLane(const Job& full, const Job& lane) {
  Check(SameAnalysisState(*full.context, *lane.context));
  Check(SameJobAnalysis(full.analysis, lane.analysis));
}

template <typename Event>
void CheckList(const CappedList<Event>& list, std::uint64_t total) {
  Check(list.items.size() <= kEventListLimit);
  Check(list.Total() == total);
}

void CheckAnalysis(const Job& job) {
  const JobAnalysis& analysis = job.analysis;
  std::uint64_t errors = 0;
  for (const auto& state : job.context->pidList) {
    const PidWatch* watch = analysis.watchIndex[state->pid];
    if (watch == nullptr) continue;
    Check(watch->errors <= state->payloadPackets);
    if (state->pid == 0x1FFF) Check(watch->errors == 0);
    errors += watch->errors;
    (void)KindOfPid(*job.context, analysis.emmPids, state->pid);
  }
  Check(errors == analysis.continuityErrorTotal);
  CheckList(analysis.continuityErrors, analysis.continuityErrorTotal);
  std::uint64_t streamErrors = 0;
  for (const StreamErrorTally& tally : analysis.streamErrors.tallies) streamErrors += tally.count;
  CheckList(analysis.streamErrors.events, streamErrors);
  std::uint64_t inIncidents = 0;
  for (const LossIncident& incident : analysis.incidents.closed.items) {
    for (std::size_t i = 1; i < incident.pids.size(); ++i) Check(incident.pids[i - 1] < incident.pids[i]);
    inIncidents += incident.errors;
  }
  Check(analysis.incidents.closed.omitted > 0 || inIncidents == analysis.continuityErrorTotal);
}

}  // namespace
}  // namespace kestrun

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrun;
  Job full;
  Job lane;
  for (std::size_t at = 0; at + kTsPacketSize <= size; at += kTsPacketSize) {
    const std::uint8_t* packet = data + at;
    if (packet[0] != kSyncByte) continue;
    FullSteps(full, packet, at);
    LaneOrFullSteps(lane, packet, at);
    CheckSameAsLane(full, lane);
  }
  FinishAnalysis(full.analysis, *full.context);
  FinishAnalysis(lane.analysis, *lane.context);
  CheckAnalysis(full);
  return 0;
}
