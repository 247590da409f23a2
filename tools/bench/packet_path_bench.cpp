// Micro-benchmarks of the per-packet path, one packet per iteration, so the
// reported time is the cost of one packet:
//   ReadPackets  the packet reader alone (NextPacket);
//   PacketPath   reader, header decode (ParsePacket), continuity check and
//                the three clocks;
//   WorkerPath   the same plus the table dispatch (PAT, PMT, TDT/TOT), as
//                the worker runs it.
// "clean" is a broadcast-shaped stream without faults (30 PIDs, H.264 video,
// four audio, PCR on its own PID, data carousels, PAT/PMT every 100 ms);
// "sections" is the same with a PAT or PMT section starting in every tenth
// packet (the PMT spans two packets).
// The stream is generated once in memory; the read buffer's block holds it
// whole, and after the first fill each read hands the same bytes back
// without copying them, so the numbers leave out the read call's copy
// (which the throughput benchmark's bare read loop measures).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "ts/dispatch.h"
#include "ts/ts_context.h"
#include "tsgen/tsgen.h"
#include "worker/read_buffer.h"

namespace kestrun {
namespace {

// 20000 packets a second at this rate: a PAT and a PMT every millisecond
// make one section in ten packets.
constexpr std::uint32_t kSectionMuxRate = 30'080'000;
// Small enough to stay in the second-level cache with the analysis state.
constexpr std::uint64_t kStreamPackets = 5000;

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

enum class Depth { Reader, Packet, Worker };

void RunPath(benchmark::State& state, StreamShape shape, Depth depth) {
  const std::vector<std::uint8_t>& stream = StreamOf(shape);
  if (stream.empty()) {
    state.SkipWithError("the stream could not be generated");
    return;
  }
  RepeatingSource source(stream);
  ReadBuffer buffer;
  buffer.capacity = static_cast<std::uint32_t>(stream.size());
  TsContextList contexts;
  TsContext* context =
      CreateContext(contexts, 0, {platform::LocalTimeToEpoch, platform::EpochToLocalTime});
  std::uint64_t drops = 0;
  for (auto _ : state) {
    const PacketResult next = NextPacket(buffer, source);
    if (!next.HasPacket()) {
      state.SkipWithError("the reader lost the stream");
      break;
    }
    if (depth == Depth::Reader) {
      benchmark::DoNotOptimize(next.packet);
      continue;
    }
    PidState* pid = ParsePacket(next.packet, *context);
    if (pid == nullptr || !pid->parsed) continue;
    drops += CheckContinuity(*context, *pid) ? 1 : 0;
    UpdateClocks(*context, *pid);
    if (depth == Depth::Worker) DispatchTables(next.packet, *context, *pid);
  }
  benchmark::DoNotOptimize(drops);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kTsPacketSize));
  state.counters["pids"] = static_cast<double>(context->pidList.size());
  ReleaseReadBuffer(buffer);
}

BENCHMARK_CAPTURE(RunPath, ReadPackets_clean, StreamShape::Clean, Depth::Reader);
BENCHMARK_CAPTURE(RunPath, PacketPath_clean, StreamShape::Clean, Depth::Packet);
BENCHMARK_CAPTURE(RunPath, PacketPath_sections, StreamShape::Sections, Depth::Packet);
BENCHMARK_CAPTURE(RunPath, WorkerPath_clean, StreamShape::Clean, Depth::Worker);
BENCHMARK_CAPTURE(RunPath, WorkerPath_sections, StreamShape::Sections, Depth::Worker);

}  // namespace
}  // namespace kestrun

BENCHMARK_MAIN();
