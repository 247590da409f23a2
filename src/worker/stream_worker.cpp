#include "worker/stream_worker.h"

#include <memory>
#include <optional>
#include <thread>

#include "output/console.h"
#include "output/message.h"
#include "support/catalog.h"
#include "support/run_flags.h"
#include "ts/dispatch.h"
#include "tuner/bon_driver_tuner.h"
#include "worker/file_byte_source.h"
#include "worker/play_windows.h"
#include "worker/read_ahead_source.h"
#include "worker/read_buffer.h"
#include "worker/report.h"
#include "worker/source.h"
#include "worker/tuner_byte_source.h"

namespace kestrun {
namespace {

// Passes between two progress lines.
constexpr std::int32_t kProgressInterval = 1000;

LocalTimeRules PlatformLocalTime() {
  return {platform::LocalTimeToEpoch, platform::EpochToLocalTime};
}

// Everything one run of the worker keeps besides the job record.
struct WorkerRun {
  WorkerRun(JobRecord& owner, const JobSettings& jobSettings) : job(owner), settings(jobSettings) {}

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

  bool IsFile() const { return source.kind == SourceKind::File; }
  bool Polls() const { return source.kind == SourceKind::StdIn || source.kind == SourceKind::Tuner; }
};

std::uint64_t PlayTimeNow(const TsContext& context) { return SelectClock(context).elapsed; }

// A regular file is read ahead on a thread of its own; anything that may
// wait for a writer (a pipe, standard input, a device named as a file) is
// read by the worker itself, which can then give up when told to stop.
std::unique_ptr<ByteSource> OpenByteSource(SourceKind kind, platform::FileHandle handle,
                                           std::uint32_t capacity) {
  if (kind == SourceKind::File && platform::IsRegularFile(handle)) {
    return std::make_unique<ReadAheadSource>(handle, capacity);
  }
  return std::make_unique<FileByteSource>(handle, kind != SourceKind::File);
}

// Opens the source and prepares the read; false when there is nothing to read.
bool SetUp(WorkerRun& run) {
  JobRecord& job = run.job;
  run.source = ClassifySource(job.sourcePath);
  const SourceKind kind = run.source.kind;
  if (kind == SourceKind::Invalid) return false;
  if (kind == SourceKind::Tuner) {
    run.tuner = std::make_unique<CBonDriverTuner>();
    FillTunerRecord(*run.tuner, job.sourcePath);
    run.input = std::make_unique<TunerByteSource>(*run.tuner);
  } else {
    job.inputHandle = OpenSource(kind, job.sourcePath);
    if (!job.inputHandle.valid()) return false;
  }
  run.readBuffer.capacity = ReadBufferCapacity(run.settings.readBufferSize);
  if (kind != SourceKind::Tuner) run.input = OpenByteSource(kind, job.inputHandle, run.readBuffer.capacity);
  if (run.IsFile()) {
    run.fileSize = platform::FileSizeOf(job.inputHandle);
    run.startPosition = ApplyStartOffset(job.inputHandle, run.source.startOffset);
  }
  if (run.settings.durationText) {
    run.windows.emplace();
    StartWindows(*run.windows, *run.settings.durationText);
  }
  if (run.tuner) StartTunerThread(*run.tuner);
  return true;
}

FieldTexts BuildFieldTexts(const WorkerRun& run, const TsContext& context, std::uint64_t position) {
  FieldTexts fields;
  if (run.IsFile()) {
    const std::int64_t offset = run.startPosition + static_cast<std::int64_t>(position);
    fields.offset = OffsetText(offset);
    fields.percent = PercentText(offset, run.fileSize);
  }
  fields.tot = TotText(context.totLocalTime, context.totSeconds);
  const ClockTime& time = SelectClock(context).time;
  fields.playTime = PlayTimeText(time);
  return fields;
}

void PrintDropLine(const WorkerRun& run, const PidState& state, const FieldTexts& fields) {
  if (!LineStartFlag.load(std::memory_order_relaxed) && ProgressAllowed()) {
    ConsoleText("\r\n");
    LineStartFlag.store(true, std::memory_order_relaxed);
  }
  if (DropHeaderPending.exchange(false)) WriteMessageText(DropHeaderText(run.job.sourcePath));
  WriteMessageText(DropLineText(state.pid, state.dropCount, fields));
  LineStartFlag.store(true, std::memory_order_relaxed);
}

void PrintProgressLine(const FieldTexts& fields) {
  if (!ProgressAllowed()) return;
  ConsoleText(ProgressLineText(fields));
  ConsoleFlush();
  LineStartFlag.store(false, std::memory_order_relaxed);
}

void PrintWrapAroundLine(WorkerRun& run, TsContext& context) {
  if (!run.settings.reportWrapAround || !context.wrapPending || context.wrapTime == 0) return;
  if (!LineStartFlag.load(std::memory_order_relaxed) && ProgressAllowed()) ConsoleText("\r\n");
  WriteMessageText(WrapAroundLineText(context.wrapLocalTime));
  LineStartFlag.store(true, std::memory_order_relaxed);
  context.wrapPending = false;
}

// The analysis of one packet; returns whether it was counted as a drop.
bool AnalysePacket(WorkerRun& run, TsContext& context, PidState& state, const std::uint8_t* packet) {
  const bool drop = CheckContinuity(context, state);
  UpdateClocks(context, state);
  // The windows only decide which packets reach the table handlers.
  if (run.windows && !WindowGate(*run.windows, PlayTimeNow(context), StopRequested())) return drop;
  if (DispatchTables(packet, context, state) == TableResult::TotAccepted) {
    PrintWrapAroundLine(run, context);
  }
  return drop;
}

void Report(WorkerRun& run, const TsContext& context, const PidState& state, bool drop,
            std::uint64_t position) {
  const bool dropLine = drop && HasPcrPid(context);
  if (!dropLine && run.progressCounter <= kProgressInterval) return;
  const FieldTexts fields = BuildFieldTexts(run, context, position);
  if (dropLine) {
    PrintDropLine(run, state, fields);
    return;
  }
  PrintProgressLine(fields);
  run.progressCounter = 0;
  // Window messages are drained at the pace of the progress line, not per
  // packet, so the packet path makes no system call but the read.
  platform::PumpMessages();
}

void ReportBufferFailure(const WorkerRun& run) {
  WriteMessage(text::kMsgReadBufferFailed, run.readBuffer.capacity, run.job.sourcePath.c_str());
}

void ReadLoop(WorkerRun& run) {
  TsContext& context = *run.job.context;
  for (;;) {
    if (run.windows && WindowsExhausted(*run.windows, PlayTimeNow(context))) break;
    ++run.progressCounter;
    if (StopRequested()) break;
    const PacketResult next = NextPacket(run.readBuffer, *run.input);
    if (next.HasPacket()) {
      PidState* state = ParsePacket(next.packet, context);
      if (state != nullptr && state->parsed) {
        const bool drop = AnalysePacket(run, context, *state, next.packet);
        Report(run, context, *state, drop, next.position);
      }
    } else if (next.status == PacketStatus::NoMemory) {
      ReportBufferFailure(run);
      break;
    } else if (next.status == PacketStatus::CapacityTooSmall || !run.Polls()) {
      break;
    } else {
      // Standard input and the tuner keep polling until they are stopped.
      std::this_thread::yield();
    }
  }
}

void CleanUp(WorkerRun& run) {
  ReleaseReadBuffer(run.readBuffer);
  // A read-ahead thread ends before the handle it reads is closed.
  run.input.reset();
  if (run.job.inputHandle.valid()) platform::CloseFile(run.job.inputHandle);
  if (run.tuner) TeardownTuner(*run.tuner);
}

}  // namespace

int StreamWorkerMain(WorkerArgs* args) {
  if (args == nullptr || args->jobs == nullptr || args->count < 1 || args->settings == nullptr) {
    return 0;
  }
  JobRecord& job = args->jobs[0];
  job.context = CreateContext(job.contextList, 0, PlatformLocalTime());
  if (job.context == nullptr) return 0;
  WorkerRun run(job, *args->settings);
  if (SetUp(run)) ReadLoop(run);
  CleanUp(run);
  return 1;
}

}  // namespace kestrun
