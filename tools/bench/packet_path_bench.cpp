// Micro-benchmarks of the per-packet path; the reported time is the cost of
// one packet:
//   ReadPackets  the packet reader alone (NextPacket);
//   PacketPath   reader, header decode (ParsePacket), continuity check and
//                the three clocks, for every packet;
//   FullPath     the same plus the table dispatch (PAT, PMT, TDT/TOT): every
//                packet through the full steps, as the worker once ran them;
//   WorkerPath   the worker's loop: runs of plain packets in the batch
//                (CheckPlainPackets), everything else through the full steps,
//                the pass counter of the progress line kept as the worker
//                keeps it;
//   AnalysedPath the same for a job whose analysis runs (a report is
//                written): the watched batch, the analysis's full steps and
//                its looks at the pace of the progress line.
// "clean" is a broadcast-shaped stream without faults (30 PIDs, H.264 video,
// four audio, PCR on its own PID, data carousels, PAT/PMT every 100 ms);
// "sections" is the same with a PAT or PMT section starting in every tenth
// packet (the PMT spans two packets).
// The stream is generated once in memory; the read buffer's block holds it
// whole, and after the first fill each read hands the same bytes back
// without copying them, so the numbers leave out the read call's copy
// (which the throughput benchmark's bare read loop measures).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "analysis/job_analysis.h"
#include "platform/platform.h"
#include "ts/dispatch.h"
#include "ts/ts_context.h"
#include "tsgen/tsgen.h"
#include "worker/plain_batch.h"
#include "worker/read_buffer.h"

namespace kestrun {
namespace {

// 20000 packets a second at this rate: a PAT and a PMT every millisecond
// make one section in ten packets.
constexpr std::uint32_t kSectionMuxRate = 30'080'000;
// Small enough to stay in the second-level cache with the analysis state.
constexpr std::uint64_t kStreamPackets = 5000;
// Passes between two progress lines, as in the worker.
constexpr std::uint32_t kProgressInterval = 1000;

enum class StreamShape { Clean, Sections };

std::vector<std::uint8_t> MakeStream(StreamShape shape) {
  tsgen::Profile profile = tsgen::BenchmarkProfile();
  profile.injections.clear();
  profile.packetCount = kStreamPackets;
  if (shape == StreamShape::Sections) {
    profile.muxRate = kSectionMuxRate;
    profile.psiIntervalMs = 1;
  }
  return tsgen::Generate(profile, nullptr);
}

const std::vector<std::uint8_t>& StreamOf(StreamShape shape) {
  static const std::vector<std::uint8_t> clean = MakeStream(StreamShape::Clean);
  static const std::vector<std::uint8_t> sections = MakeStream(StreamShape::Sections);
  return shape == StreamShape::Clean ? clean : sections;
}

// The stream of `shape`, or null with the benchmark marked skipped.
const std::vector<std::uint8_t>* StreamOrSkip(benchmark::State& state, StreamShape shape) {
  const std::vector<std::uint8_t>& stream = StreamOf(shape);
  if (!stream.empty()) return &stream;
  state.SkipWithError("the stream could not be generated");
  return nullptr;
}

// Serves the whole stream at each read. The block already holds it after
// the first read (every packet is consumed, so nothing is carried over),
// and later reads only report it again.
class RepeatingSource final : public ByteSource {
 public:
  explicit RepeatingSource(const std::vector<std::uint8_t>& stream) : stream_(stream) {}

  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override {
    if (room < stream_.size()) return {false, 0};
    if (destination != filled_) {
      std::memcpy(destination, stream_.data(), stream_.size());
      filled_ = destination;
    }
    return {true, static_cast<std::uint32_t>(stream_.size())};
  }

 private:
  const std::vector<std::uint8_t>& stream_;
  const std::uint8_t* filled_ = nullptr;
};

enum class Depth { Reader, Packet, Full };

struct PathSetUp {
  explicit PathSetUp(const std::vector<std::uint8_t>& stream) : source(stream) {
    buffer.capacity = static_cast<std::uint32_t>(stream.size());
    context = CreateContext(contexts, 0, {platform::LocalTimeToEpoch, platform::EpochToLocalTime});
  }
  ~PathSetUp() { ReleaseReadBuffer(buffer); }

  RepeatingSource source;
  ReadBuffer buffer;
  TsContextList contexts;
  TsContext* context = nullptr;
};

void CountPackets(benchmark::State& state, const TsContext& context) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kTsPacketSize));
  state.counters["pids"] = static_cast<double>(context.pidList.size());
}

// The full steps for one packet; false when the reader lost the stream.
[[gnu::always_inline]] inline bool FullSteps(PathSetUp& path, Depth depth, std::uint64_t& drops) {
  const PacketResult next = NextPacket(path.buffer, path.source);
  if (!next.HasPacket()) return false;
  if (depth == Depth::Reader) {
    benchmark::DoNotOptimize(next.packet);
    return true;
  }
  TsContext& context = *path.context;
  PidState* pid = ParsePacket(next.packet, context);
  if (pid == nullptr || !pid->parsed) return true;
  drops += CheckContinuity(context, *pid) ? 1 : 0;
  UpdateClocks(context, *pid);
  if (depth == Depth::Full) DispatchTables(next.packet, context, *pid);
  return true;
}

void RunPath(benchmark::State& state, StreamShape shape, Depth depth) {
  const std::vector<std::uint8_t>* stream = StreamOrSkip(state, shape);
  if (stream == nullptr) return;
  PathSetUp path(*stream);
  std::uint64_t drops = 0;
  for (auto _ : state) {
    if (!FullSteps(path, depth, drops)) {
      state.SkipWithError("the reader lost the stream");
      break;
    }
  }
  benchmark::DoNotOptimize(drops);
  CountPackets(state, *path.context);
}

// The full steps and the analysis's for one packet.
bool AnalysedSteps(PathSetUp& path, JobAnalysis& analysis, std::uint64_t& drops) {
  const PacketResult next = NextPacket(path.buffer, path.source);
  if (!next.HasPacket()) return false;
  TsContext& context = *path.context;
  PidState* pid = ParsePacket(next.packet, context);
  if (pid == nullptr || !pid->parsed) {
    AnalyseDamagedPacket(analysis, context, next.position, next.length);
    return true;
  }
  FullPacketFacts facts;
  facts.position = next.position;
  facts.length = next.length;
  facts.previousCc = pid->lastCc;
  facts.drop = CheckContinuity(context, *pid);
  drops += facts.drop ? 1 : 0;
  UpdateClocks(context, *pid);
  facts.table = DispatchTables(next.packet, context, *pid);
  facts.tablesRead = true;
  AnalyseFullPacket(analysis, context, *pid, next.packet, facts);
  return true;
}

// The whole stream per turn, counted as one iteration per packet.
template <bool kAnalysed>
void RunWorkerPath(benchmark::State& state, StreamShape shape) {
  const std::vector<std::uint8_t>* stream = StreamOrSkip(state, shape);
  if (stream == nullptr) return;
  PathSetUp path(*stream);
  JobAnalysis analysis(AnalysisSettings{CountingRule::Default, true});
  if (kAnalysed) PrepareForAnalysis(*path.context);
  std::uint64_t drops = 0;
  std::uint32_t passes = 0;  // since the last progress line
  while (state.KeepRunningBatch(static_cast<benchmark::IterationCount>(kStreamPackets))) {
    for (std::uint64_t done = 0; done < kStreamPackets;) {
      if (passes < kProgressInterval) {
        const auto limit = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(kProgressInterval - passes, kStreamPackets - done));
        const PlainBatch batch = kAnalysed ? CheckWatchedPlainPackets<false>(path.buffer, *path.context, limit)
                                           : CheckPlainPackets<false>(path.buffer, *path.context, limit);
        if (kAnalysed && batch.packets > 0) {
          AnalysePlainRun(analysis, path.buffer.blockPosition + path.buffer.cursor);
        }
        passes += batch.packets;
        done += batch.packets;
        if (batch.packets > 0) continue;
      }
      if (++passes > kProgressInterval) {
        passes = 0;
        if (kAnalysed) AnalyseAtProgressPace(analysis, *path.context);
      }
      const bool read = kAnalysed ? AnalysedSteps(path, analysis, drops) : FullSteps(path, Depth::Full, drops);
      if (!read) {
        state.SkipWithError("the reader lost the stream");
        return;
      }
      ++done;
    }
  }
  benchmark::DoNotOptimize(drops);
  CountPackets(state, *path.context);
}

BENCHMARK_CAPTURE(RunPath, ReadPackets_clean, StreamShape::Clean, Depth::Reader);
BENCHMARK_CAPTURE(RunPath, PacketPath_clean, StreamShape::Clean, Depth::Packet);
BENCHMARK_CAPTURE(RunPath, PacketPath_sections, StreamShape::Sections, Depth::Packet);
BENCHMARK_CAPTURE(RunPath, FullPath_clean, StreamShape::Clean, Depth::Full);
BENCHMARK_CAPTURE(RunPath, FullPath_sections, StreamShape::Sections, Depth::Full);
void RunPlainWorkerPath(benchmark::State& state, StreamShape shape) { RunWorkerPath<false>(state, shape); }
void RunAnalysedWorkerPath(benchmark::State& state, StreamShape shape) { RunWorkerPath<true>(state, shape); }

BENCHMARK_CAPTURE(RunPlainWorkerPath, WorkerPath_clean, StreamShape::Clean);
BENCHMARK_CAPTURE(RunPlainWorkerPath, WorkerPath_sections, StreamShape::Sections);
BENCHMARK_CAPTURE(RunAnalysedWorkerPath, AnalysedPath_clean, StreamShape::Clean);
BENCHMARK_CAPTURE(RunAnalysedWorkerPath, AnalysedPath_sections, StreamShape::Sections);

}  // namespace
}  // namespace kestrun

BENCHMARK_MAIN();
