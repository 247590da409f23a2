// The account of a run that every report format is written from: the run as
// a whole and each job in the order it ran, with its PIDs (what they carry,
// their counts by both continuity rules), its drops and continuity errors
// one by one, its loss incidents, stream errors and totals. Plain records:
// a writer needs to know nothing of how they were found. Collected by the
// job runner as each job ends (job_report_collect.h).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analysis/events.h"
#include "support/job_settings.h"
#include "support/system_time.h"
#include "ts/pid_roles.h"
#include "ts/ts_context.h"
#include "worker/job_outcome.h"
#include "worker/stream_samples.h"

namespace kestrun {

// Why the job runner did not start a worker for a source.
enum class SourceRefusal {
  None,
  FileMissing,
  NotTransportStream,
  TunerSpaceMissing,
  TunerChannelMissing,
  TunerDriverMissing,
};

struct PidReport {
  std::uint16_t pid = 0;
  // The default rule, as the summary line shows it: packets checked (Total),
  // drops (Drop), last continuity_counter, and whether the PID is a PCR PID
  // and so left out of the check (対象外).
  std::uint64_t checked = 0;
  std::uint64_t drops = 0;
  std::uint8_t lastCc = 0;
  bool pcrExempt = false;
  std::uint64_t transportErrors = 0;  // packets with transport_error_indicator
  std::uint64_t scrambled = 0;        // undamaged packets with transport_scrambling_control
  std::vector<PidRole> roles;         // what the PAT and PMTs say of it
  PidKind kind = PidKind::Other;
  std::string name;  // short, English: "H.264 video", "AAC audio", "EIT", "ECM"
  std::uint64_t continuityErrors = 0;  // by the MPEG-2 systems rule
};

struct ProgramStreamReport {
  std::uint16_t pid = 0;
  std::uint8_t streamType = 0;
};

// A program of the last PAT, with what its last PMT said.
struct ProgramReport {
  std::uint16_t number = 0;
  std::uint16_t pmtPid = 0;
  bool hasPmt = false;          // a valid PMT of the program arrived
  std::uint16_t pcrPid = 0;     // from the PMT; 0x1FFF: no PCR
  std::vector<ProgramStreamReport> streams;  // in PMT order
};

struct JobReport {
  std::string source;  // the source text as given
  std::int64_t started = 0;  // seconds since 1970 UTC; 0 when not known
  bool running = false;      // a report made while the job runs
  SourceRefusal refusal = SourceRefusal::None;
  JobOutcome outcome;  // kind taken from the source text when refused
  std::int32_t dropTotal = 0;  // the job's share of the exit code, by the console's rule
  std::vector<PidReport> pids;  // in the order of the summary
  std::vector<DamagedPid> damagedOnly;
  std::vector<PidKind> damagedOnlyKinds;  // what each of those carries, as the tables tell
  std::vector<std::uint16_t> pcrPids;
  bool hasBroadcastTime = false;
  SystemTime broadcastTime;  // the last TDT/TOT

  // Every drop of the default rule, and every continuity error of the MPEG-2
  // systems rule, in stream order (the first kEventListLimit of each).
  CappedList<DropEvent> drops;
  CappedList<DropEvent> continuityErrors;
  std::uint64_t continuityErrorTotal = 0;
  std::uint64_t lostPacketsEstimate = 0;  // the Gap errors' lostPackets added up
  CappedList<LossIncident> incidents;

  StreamErrorTallies streamErrors{};  // by StreamErrorKind
  std::uint64_t syncBytesSkipped = 0;
  CappedList<StreamErrorEvent> streamErrorEvents;  // every occurrence, in stream order

  // Transport errors include the PIDs that never arrived undamaged; a packet
  // both damaged and scrambled counts as damaged only.
  std::uint64_t transportErrorTotal = 0;
  std::uint64_t scrambledTotal = 0;
  // The play time at the first packet the clock ran for and at the last.
  bool hasPlayTime = false;
  std::uint64_t firstTicks = 0;
  std::uint64_t lastTicks = 0;
  // The first and the last TDT/TOT time.
  bool hasBroadcastSpan = false;
  SystemTime firstBroadcastTime;
  SystemTime lastBroadcastTime;
  bool complete = false;  // a file read from its start position to its end
  std::vector<ProgramReport> programs;  // in PAT order

  // Where the damaged and scrambled packets lay (sampled for the picture of
  // the run only). (The signal level a tuner driver gave is outcome.signal.)
  StreamSamples samples;
};

struct RunReport {
  std::int64_t started = 0;  // seconds since 1970 UTC
  std::int64_t ended = 0;
  bool running = false;  // written during the run: no end, no exit code yet
  std::int32_t dropTotal = 0;
  int exitCode = 0;
  CountingRule countingRule = CountingRule::Default;  // the rule of the console, log and exit code
  std::vector<JobReport> jobs;
};

}  // namespace kestrun
