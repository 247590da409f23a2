#include "worker/stream_worker.h"

#include <array>
#include <chrono>
#include <memory>
#include <new>
#include <optional>

#include "output/console.h"
#include "output/message.h"
#include "platform/file_view.h"
#include "platform/platform.h"
#include "support/catalog.h"
#include "support/run_flags.h"
#include "ts/dispatch.h"
#include "tuner/bon_driver_tuner.h"
#include "worker/counting_byte_source.h"
#include "worker/follow_wait.h"
#include "worker/parking_byte_source.h"
#include "worker/plain_batch.h"
#include "worker/play_windows.h"
#include "worker/read_buffer.h"
#include "worker/report.h"
#include "worker/source.h"
#include "worker/tuner_byte_source.h"

namespace kestrun {
namespace {

// Passes between two progress lines.
constexpr std::int32_t kProgressInterval = 1000;
// The longest a held progress line waits for the console.
constexpr std::chrono::milliseconds kProgressFlushInterval{50};

LocalTimeRules PlatformLocalTime() {
  return {platform::LocalTimeToEpoch, platform::EpochToLocalTime};
}

// The field texts that change seldom (the broadcast time every few
// seconds, the percentage every hundredth of the file), kept with what they
// were made from, so a line formats only what has moved.
struct SeldomTexts {
  std::int64_t totSeconds = 0;
  SystemTime totLocalTime;
  std::string tot;  // TotText of the two above
  int percent = -1;
  std::string percentText;
};

bool SameTime(const SystemTime& a, const SystemTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

// Everything one run of the worker keeps besides the job record.
struct WorkerRun {
  WorkerRun(JobRecord& owner, const JobSettings& jobSettings)
      : job(owner), settings(jobSettings), packetsBySize(owner.outcome.packetsBySize) {}

  JobRecord& job;
  const JobSettings& settings;
  ClassifiedSource source;
  ReadBuffer readBuffer;
  std::int64_t startPosition = 0;  // where reading began in a file
  std::int64_t fileSize = 1;
  std::unique_ptr<CBonDriverTuner> tuner;
  std::unique_ptr<ByteSource> input;
  std::optional<DurationWindows> windows;
  std::int32_t progressCounter = 0;
  std::chrono::steady_clock::time_point lastProgressFlush;
  SeldomTexts seldomTexts;
  std::array<std::uint64_t, 2>& packetsBySize;  // 188, 192: the outcome's own
  FollowState follow;

  bool IsFile() const { return source.kind == SourceKind::File; }
  bool Polls() const { return source.kind == SourceKind::StdIn || source.kind == SourceKind::Tuner; }
  // A file that is still being written is read past its end (follow).
  bool Follows() const { return settings.follow && IsFile() && platform::IsRegularFile(job.inputHandle); }
};

std::uint64_t PlayTimeNow(const TsContext& context) { return SelectClock(context).elapsed; }

// A packet's place in the source: the file offset for a file (reading may
// start past its beginning), else the bytes read before it.
std::uint64_t StreamPosition(const WorkerRun& run, std::uint64_t position) {
  return static_cast<std::uint64_t>(run.startPosition) + position;
}

// Opens the source and prepares the read; false when there is nothing to read.
bool SetUp(WorkerRun& run) {
  JobRecord& job = run.job;
  run.source = ClassifySource(job.sourcePath);
  const SourceKind kind = run.source.kind;
  job.outcome.kind = kind;
  job.outcome.startOffset = run.source.startOffset;
  if (kind == SourceKind::Invalid) return false;
  if (kind == SourceKind::Tuner) {
    run.tuner = std::make_unique<CBonDriverTuner>();
    FillTunerRecord(*run.tuner, job.sourcePath);
    run.input = std::make_unique<TunerByteSource>(*run.tuner);
    job.tuner = run.tuner.get();
  } else {
    // A pipe may take seconds to appear.
    const platform::FileHandle handle = [&] {
      ParkedScope parked(job.live);
      return OpenSource(kind, job.sourcePath);
    }();
    job.inputHandle = handle;
    if (!job.inputHandle.valid()) return false;
  }
  run.readBuffer.capacity = ReadBufferCapacity(run.settings.readBufferSize);
  if (kind != SourceKind::Tuner) run.input = OpenByteSource(kind, job.inputHandle, run.readBuffer.capacity);
  if (job.live != nullptr) run.input = std::make_unique<ParkingByteSource>(std::move(run.input), *job.live);
  run.input = std::make_unique<CountingByteSource>(std::move(run.input), job.outcome.bytesRead);
  if (run.IsFile()) {
    run.fileSize = platform::FileSizeOf(job.inputHandle);
    job.outcome.fileSize = run.fileSize;
    const std::optional<std::int64_t> start = ApplyStartOffset(job.inputHandle, run.source.startOffset);
    if (!start) return false;
    run.startPosition = *start;
    job.outcome.startPosition = run.startPosition;
  }
  if (job.sampler) job.sampler->lastOffset = static_cast<std::uint64_t>(run.startPosition);
  if (run.settings.durationText) {
    run.windows.emplace();
    StartWindows(*run.windows, *run.settings.durationText);
  }
  if (run.tuner) StartTunerThread(*run.tuner);
  return true;
}

FieldTexts BuildFieldTexts(WorkerRun& run, const TsContext& context, std::uint64_t position) {
  FieldTexts fields;
  SeldomTexts& seldom = run.seldomTexts;
  if (run.IsFile()) {
    const auto offset = static_cast<std::int64_t>(StreamPosition(run, position));
    fields.offset = OffsetText(offset);
    const int percent = PercentOf(offset, run.fileSize);
    if (percent != seldom.percent) {
      seldom.percentText = PercentText(offset, run.fileSize);
      seldom.percent = percent;
    }
    fields.percent = seldom.percentText;
  }
  if (context.totSeconds != seldom.totSeconds || !SameTime(context.totLocalTime, seldom.totLocalTime)) {
    seldom.tot = TotText(context.totLocalTime, context.totSeconds);
    seldom.totSeconds = context.totSeconds;
    seldom.totLocalTime = context.totLocalTime;
  }
  fields.tot = seldom.tot;
  const ClockTime& time = SelectClock(context).time;
  fields.playTime = PlayTimeText(time);
  return fields;
}

// A drop line due for a packet: its PID and the PID's count under the rule
// the console follows.
struct DropLineDue {
  bool due = false;
  std::uint16_t pid = 0;
  std::uint64_t count = 0;
};

void PrintDropLine(const WorkerRun& run, const DropLineDue& line, const FieldTexts& fields) {
  // The progress line is ended in the same write as the line that follows.
  if (!LineStartFlag.load(std::memory_order_relaxed) && ProgressAllowed()) {
    ConsoleTextHeld("\r\n");
    LineStartFlag.store(true, std::memory_order_relaxed);
  }
  if (DropHeaderPending.exchange(false)) WriteMessageText(DropHeaderText(run.job.sourcePath));
  WriteMessageText(DropLineText(line.pid, static_cast<std::int64_t>(line.count), fields));
  LineStartFlag.store(true, std::memory_order_relaxed);
}

// From a file, progress lines come thousands of times a second: they are
// held and pushed out together at most every kProgressFlushInterval, so the
// console shows them as promptly without a write for each. Any other source
// may keep the worker waiting for its writer, so its lines go out at once.
void PrintProgressLine(WorkerRun& run, const FieldTexts& fields) {
  const std::string line = ProgressLineText(fields);
  if (run.IsFile()) {
    ConsoleTextHeld(line);
    const auto now = std::chrono::steady_clock::now();
    if (now - run.lastProgressFlush >= kProgressFlushInterval) {
      ConsoleFlush();
      run.lastProgressFlush = now;
    }
  } else {
    ConsoleText(line);
    ConsoleFlush();
  }
  LineStartFlag.store(false, std::memory_order_relaxed);
}

void PrintWrapAroundLine(WorkerRun& run, TsContext& context) {
  if (!run.settings.reportWrapAround || !context.wrapPending || context.wrapTime == 0) return;
  if (!LineStartFlag.load(std::memory_order_relaxed) && ProgressAllowed()) ConsoleTextHeld("\r\n");
  WriteMessageText(WrapAroundLineText(context.wrapLocalTime));
  LineStartFlag.store(true, std::memory_order_relaxed);
  context.wrapPending = false;
}

// The analysis of one packet: whether it was counted as a drop, what the
// table handlers made of it, and whether it reached them.
struct PacketSteps {
  bool drop = false;
  TableResult table = TableResult::None;
  bool tablesRead = false;
};

PacketSteps AnalysePacket(WorkerRun& run, TsContext& context, PidState& state, const std::uint8_t* packet) {
  PacketSteps steps;
  steps.drop = CheckContinuity(context, state);
  UpdateClocks(context, state);
  // The windows only decide which packets reach the table handlers.
  if (run.windows && !WindowGate(*run.windows, PlayTimeNow(context), StopRequested())) return steps;
  steps.tablesRead = true;
  steps.table = DispatchTables(packet, context, state);
  if (steps.table == TableResult::TotAccepted) {
    PrintWrapAroundLine(run, context);
    if (run.job.sampler) NoteBroadcastTime(*run.job.sampler, context);
  }
  return steps;
}

// The drop line the console's rule calls for: a drop of the default rule
// once a PCR PID is known, or any continuity error of the MPEG-2 systems
// rule. The analysis sees the packet (and records the drop) first.
bool IsoRule(const WorkerRun& run) {
  return run.job.analysis != nullptr && run.job.analysis->settings.rule == CountingRule::Iso;
}

DropLineDue AnalyseAndChooseLine(WorkerRun& run, const TsContext& context, PidState& state,
                                 const std::uint8_t* packet, const PacketResult& next,
                                 std::uint8_t previousCc, const PacketSteps& steps) {
  DropLineDue line{steps.drop && HasPcrPid(context), state.pid, state.dropCount};
  JobAnalysis* analysis = run.job.analysis.get();
  if (analysis == nullptr) return line;
  FullPacketFacts facts;
  facts.position = StreamPosition(run, next.position);
  facts.length = next.length;
  facts.previousCc = previousCc;
  facts.drop = steps.drop;
  facts.table = steps.table;
  facts.tablesRead = steps.tablesRead;
  const FullPacketVerdict verdict = AnalyseFullPacket(*analysis, context, state, packet, facts);
  if (analysis->settings.rule == CountingRule::Iso) line = {verdict.continuityError, state.pid, verdict.errorCount};
  return line;
}

// `counted`: the packet was a drop by the console's rule, whether or not
// a drop line is due for it.
void Report(WorkerRun& run, const TsContext& context, const DropLineDue& line, bool counted,
            std::uint64_t position) {
  // Only a job reported on while it runs wants the time; a drop is rare
  // beside the packets, and the drop line costs a write anyway.
  if (counted && run.job.live != nullptr) run.job.outcome.lastDropTime = platform::CalendarSeconds();
  if (!line.due && run.progressCounter <= kProgressInterval) return;
  if (line.due) {
    PrintDropLine(run, line, BuildFieldTexts(run, context, position));
    return;
  }
  if (ProgressAllowed()) PrintProgressLine(run, BuildFieldTexts(run, context, position));
  run.progressCounter = 0;
  // Window messages are drained, and the analysis looks for what has gone
  // missing, at the pace of the progress line, not per packet, so the
  // packet path makes no system call but the read.
  platform::PumpMessages();
  if (run.job.analysis) AnalyseAtProgressPace(*run.job.analysis, context);
  if (run.job.sampler) SampleStream(*run.job.sampler, context, StreamPosition(run, position));
}

// Whether NextPacket can hand out the packet at the cursor from the held
// data as it stands; otherwise it may replace the data, and the analysis
// must first copy the packets it still compares with.
bool HeldPacketReady(const ReadBuffer& buffer) {
  const std::uint32_t at = buffer.cursor;
  return buffer.validLength - at > kPlainPacketSize && buffer.data[at] == kSyncByte &&
         buffer.data[at + kPlainPacketSize] == kSyncByte;
}

void KeepHeldPackets(WorkerRun& run) {
  if (run.readBuffer.data != nullptr) {
    KeepLastPackets(*run.job.analysis, *run.job.context, run.readBuffer.data,
                    run.readBuffer.data + run.readBuffer.validLength);
  }
}

void ReportBufferFailure(const WorkerRun& run) {
  WriteMessage(text::kMsgReadBufferFailed, run.readBuffer.capacity,
               platform::PathForMessage(run.job.sourcePath).c_str());
}

// Runs the passes whose packet needs only the plain analysis as one batch,
// up to the pass that makes the next progress line (the full path prints
// it); returns how many it ran. The checks made once per pass are made once
// per batch: the batch stops after any packet that moves the play time
// while windows are set, and that packet is put through the window gate
// here, as the full path would; no other plain packet can change what the
// windows say. A stop is seen after the batch, within a thousand packets.
std::uint32_t RunPlainPasses(WorkerRun& run, TsContext& context) {
  if (run.progressCounter >= kProgressInterval) return 0;
  const auto limit = static_cast<std::uint32_t>(kProgressInterval - run.progressCounter);
  PlainBatch batch;
  JobAnalysis* analysis = run.job.analysis.get();
  if (run.windows) {
    batch = analysis ? CheckWatchedPlainPackets<true>(run.readBuffer, context, limit)
                     : CheckPlainPackets<true>(run.readBuffer, context, limit);
    if (batch.playTimeMoved) WindowGate(*run.windows, PlayTimeNow(context), StopRequested());
  } else {
    batch = analysis ? CheckWatchedPlainPackets<false>(run.readBuffer, context, limit)
                     : CheckPlainPackets<false>(run.readBuffer, context, limit);
  }
  if (analysis && batch.packets > 0) {
    AnalysePlainRun(*analysis, StreamPosition(run, run.readBuffer.blockPosition + run.readBuffer.cursor));
  }
  run.progressCounter += static_cast<std::int32_t>(batch.packets);
  run.packetsBySize[0] += batch.packets - batch.framed;
  run.packetsBySize[1] += batch.framed;
  return batch.packets;
}

// The line that stands while a followed file is waited for: the progress
// line with the word for waiting in place of the percentage.
void PrintFollowWaitLine(WorkerRun& run) {
  if (!ProgressAllowed() || run.job.context == nullptr) return;
  FieldTexts fields = BuildFieldTexts(run, *run.job.context, run.job.outcome.bytesRead);
  fields.percent = text::kWordFollowWaiting;
  ConsoleText(ProgressLineText(fields));
  ConsoleFlush();
  LineStartFlag.store(false, std::memory_order_relaxed);
}

// At the end of a followed file: true when it has grown and reading goes
// on; else how the job ends.
bool FollowFile(WorkerRun& run, JobEnd& end) {
  const std::uint64_t readTo = StreamPosition(run, run.job.outcome.bytesRead);
  if (!run.follow.waited || readTo != run.follow.readTo) PrintFollowWaitLine(run);
  FollowResult result;
  {
    ParkedScope parked(run.job.live);
    result = WaitForFileGrowth(run.job.inputHandle, readTo,
                               std::chrono::seconds(run.settings.followSeconds), run.follow);
  }
  if (result == FollowResult::Grew && run.input->ReadOnAfterEnd()) {
    // The percentage is of what is there now.
    run.fileSize = platform::FileSizeOf(run.job.inputHandle);
    return true;
  }
  end = result == FollowResult::Stopped ? JobEnd::Stop : JobEnd::EndOfInput;
  return false;
}

JobEnd ReadLoop(WorkerRun& run) {
  TsContext& context = *run.job.context;
  LiveJob* live = run.job.live;
  const bool follows = run.Follows();
  for (;;) {
    if (run.windows && WindowsExhausted(*run.windows, PlayTimeNow(context))) return JobEnd::Window;
    if (StopRequested()) return JobEnd::Stop;
    if (live != nullptr && live->VisitWanted()) live->RunVisit();
    if (RunPlainPasses(run, context) > 0) continue;
    ++run.progressCounter;
    if (run.job.analysis && !HeldPacketReady(run.readBuffer)) KeepHeldPackets(run);
    const PacketResult next = NextPacket(run.readBuffer, *run.input);
    if (next.HasPacket()) {
      ++run.packetsBySize[next.length == kFramedPacketSize ? 1 : 0];
      PidState* state = ParsePacket(next.packet, context);
      if (state != nullptr && state->parsed) {
        const std::uint8_t previousCc = state->lastCc;
        const PacketSteps steps = AnalysePacket(run, context, *state, next.packet);
        const DropLineDue line = AnalyseAndChooseLine(run, context, *state, next.packet, next, previousCc, steps);
        const bool counted = IsoRule(run) ? line.due : steps.drop;
        Report(run, context, line, counted, next.position);
      } else if (run.job.analysis) {
        AnalyseDamagedPacket(*run.job.analysis, context, StreamPosition(run, next.position), next.length);
      }
    } else if (next.status == PacketStatus::NoMemory) {
      ReportBufferFailure(run);
      return JobEnd::ReadBufferFailed;
    } else if (next.status == PacketStatus::CapacityTooSmall || !run.Polls()) {
      JobEnd end = JobEnd::EndOfInput;
      if (follows && next.status == PacketStatus::SourceEnded && FollowFile(run, end)) continue;
      // A pipe read gives up when a stop is requested.
      return StopRequested() ? JobEnd::Stop : end;
    } else {
      // Standard input and the tuner keep polling until they are stopped.
      run.input->WaitForData();
    }
  }
}

// The read loop under the guard for views of a file: a view whose pages
// vanish (the file truncated under it) ends the job as a failed read would,
// with the bytes from the fault on not counted as read.
JobEnd GuardedReadLoop(WorkerRun& run) {
  struct Loop {
    WorkerRun& run;
    JobEnd end = JobEnd::EndOfInput;
  } loop{run};
  const platform::GuardedRun guarded = platform::RunGuardingViews(
      [](void* argument) {
        Loop& inner = *static_cast<Loop*>(argument);
        inner.end = ReadLoop(inner.run);
      },
      &loop);
  if (!guarded.faulted) return loop.end;
  run.input->EndAtFault(guarded.faultAddress);
  return JobEnd::EndOfInput;
}

void CleanUp(WorkerRun& run) {
  ConsoleFlush();  // the progress lines still held
  ReleaseReadBuffer(run.readBuffer);
  run.input.reset();
  if (run.job.inputHandle.valid()) platform::CloseFile(run.job.inputHandle);
  if (run.tuner) {
    // The thread is stopped first, so nothing is added after the copy.
    StopTunerThread(*run.tuner);
    run.job.outcome.discardedBytes = run.tuner->discardedTotal.load();
    run.job.outcome.signal = TunerSignal(*run.tuner);
    run.job.tuner = nullptr;
    TeardownTuner(*run.tuner);
  }
}

}  // namespace

int StreamWorkerMain(WorkerArgs* args) {
  if (args == nullptr || args->jobs == nullptr || args->count < 1 || args->settings == nullptr) {
    return 0;
  }
  JobRecord& job = args->jobs[0];
  const WorkingScope working(job.live);
  job.context = CreateContext(job.contextList, 0, PlatformLocalTime());
  if (job.context == nullptr) return 0;
  if (job.analysis) PrepareForAnalysis(*job.context);
  WorkerRun run(job, *args->settings);
  job.outcome.end = SetUp(run) ? GuardedReadLoop(run) : JobEnd::NotOpened;
  // (The analysis keeps no packet past the read loop, so none is copied out
  // of the read buffer here: after a fault in a view that could not be read.)
  if (job.analysis) FinishAnalysis(*job.analysis, *job.context);
  if (job.sampler) {
    SampleStream(*job.sampler, *job.context, static_cast<std::uint64_t>(run.startPosition) + job.outcome.bytesRead);
  }
  CleanUp(run);
  return 1;
}

}  // namespace kestrun
