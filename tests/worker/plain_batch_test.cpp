// The batch of plain packets against the full steps for every packet: the
// same generated streams, full of faults, read from slices whose edges fall
// anywhere (inside 188- and 192-byte packets, between sync byte and
// confirmation), once as the loop ran before batches existed and once as the
// worker runs it now. After every pass the whole analysis state must be the
// same, and so must every drop and progress pass (by position and play
// time) and the end of the play-time windows.
#include "worker/plain_batch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "ts/dispatch.h"
#include "ts/same_state.h"
#include "ts/ts_context.h"
#include "tsgen/tsgen.h"
#include "worker/play_windows.h"
#include "worker/read_buffer.h"

namespace kestrun {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Lends the stream in slices whose sizes cycle through `sizes`.
class SliceSource final : public ByteSource {
 public:
  SliceSource(const Bytes& data, std::vector<std::uint32_t> sizes) : data_(data), sizes_(std::move(sizes)) {}

  SourceRead Read(std::uint8_t*, std::uint32_t) override { return {false, 0}; }
  bool LendsSlices() const override { return true; }
  LentSlice NextSlice() override {
    if (position_ >= data_.size()) return {SliceStatus::Ended, nullptr, 0};
    const std::size_t count = std::min<std::size_t>(sizes_[next_++ % sizes_.size()], data_.size() - position_);
    slice_.assign(kSlicePorch + count, 0);
    std::memcpy(slice_.data() + kSlicePorch, data_.data() + position_, count);
    position_ += count;
    return {SliceStatus::Ready, slice_.data() + kSlicePorch, static_cast<std::uint32_t>(count)};
  }

 private:
  const Bytes& data_;
  std::vector<std::uint32_t> sizes_;
  std::size_t position_ = 0;
  std::size_t next_ = 0;
  Bytes slice_;
};

// What a run would have printed where.
struct Outcome {
  std::vector<std::tuple<std::uint64_t, std::uint16_t, std::uint64_t>> drops;  // position, pid, play time
  std::vector<std::tuple<std::uint64_t, std::uint64_t>> progress;              // position, play time
  std::uint64_t framed = 0;
  bool windowEnded = false;
  bool operator==(const Outcome&) const = default;
};

constexpr std::int32_t kProgressInterval = 1000;

std::uint64_t PlayTime(const TsContext& context) { return SelectClock(context).elapsed; }

// The read loop without output, one pass at a time: every packet through
// the full steps, or runs of plain packets through the batch first, as the
// worker does.
class LoopRun {
 public:
  LoopRun(const Bytes& stream, const std::vector<std::uint32_t>& slices, bool batches, const char* duration)
      : source_(stream, slices), batches_(batches), context_(*CreateContext(contexts_, 0, {})) {
    buffer_.capacity = 1u << 20;
    if (duration != nullptr) StartWindows(windows_.emplace(), duration);
  }
  ~LoopRun() { ReleaseReadBuffer(buffer_); }

  // One pass of the loop (a batch counts as its packets); false at the end.
  bool Step() {
    if (windows_ && WindowsExhausted(*windows_, PlayTime(context_))) {
      out_.windowEnded = true;
      return false;
    }
    if (batches_ && counter_ < kProgressInterval) {
      const auto limit = static_cast<std::uint32_t>(kProgressInterval - counter_);
      const PlainBatch batch = windows_ ? CheckPlainPackets<true>(buffer_, context_, limit)
                                        : CheckPlainPackets<false>(buffer_, context_, limit);
      if (batch.playTimeMoved) WindowGate(*windows_, PlayTime(context_), false);
      counter_ += static_cast<std::int32_t>(batch.packets);
      out_.framed += batch.framed;
      packets_ += batch.packets;
      if (batch.packets > 0) return true;
    }
    ++counter_;
    const PacketResult next = NextPacket(buffer_, source_);
    if (!next.HasPacket()) return false;
    ++packets_;
    out_.framed += next.length == kFramedPacketSize ? 1 : 0;
    PidState* state = ParsePacket(next.packet, context_);
    if (state == nullptr || !state->parsed) return true;
    const bool drop = CheckContinuity(context_, *state);
    UpdateClocks(context_, *state);
    if (!windows_ || WindowGate(*windows_, PlayTime(context_), false)) {
      DispatchTables(next.packet, context_, *state);
    }
    if (drop) out_.drops.emplace_back(next.position, state->pid, PlayTime(context_));
    if (drop && HasPcrPid(context_)) return true;
    if (counter_ > kProgressInterval) {
      out_.progress.emplace_back(next.position, PlayTime(context_));
      counter_ = 0;
    }
    return true;
  }

  std::uint64_t packets() const { return packets_; }
  const TsContext& context() const { return context_; }
  const Outcome& outcome() const { return out_; }

 private:
  SliceSource source_;
  bool batches_;
  ReadBuffer buffer_;
  TsContextList contexts_;
  TsContext& context_;
  std::optional<DurationWindows> windows_;
  Outcome out_;
  std::int32_t counter_ = 0;
  std::uint64_t packets_ = 0;
};

// Runs the batched loop and, in step with it, the full steps: whenever both
// have taken the same packets, their whole analysis state must be equal.
// Returns the outcome of the full steps; the batched one must match it.
Outcome RunBothInStep(const Bytes& stream, const std::vector<std::uint32_t>& slices, const char* duration) {
  LoopRun full(stream, slices, false, duration);
  LoopRun batched(stream, slices, true, duration);
  std::size_t comparisons = 0;
  bool going = true;
  while (going) {
    going = batched.Step();
    while (full.packets() < batched.packets() && full.Step()) {
    }
    if (full.packets() != batched.packets()) break;
    ++comparisons;
    if (!SameAnalysisState(full.context(), batched.context())) {
      ADD_FAILURE() << "analysis state differs after packet " << full.packets();
      return full.outcome();
    }
  }
  while (full.Step()) {
  }
  EXPECT_EQ(full.packets(), batched.packets());
  EXPECT_EQ(batched.outcome(), full.outcome());
  EXPECT_GT(comparisons, 100u);
  return full.outcome();
}

struct Case {
  const char* name;
  std::uint32_t packetSize;
  std::uint16_t pcrPid;       // 0x0111: PCR on the video PID
  const char* duration;       // play-time windows, or null
};

Bytes MakeStream(const Case& c) {
  using tsgen::InjectKind;
  tsgen::Profile profile = tsgen::DefaultProfile();
  profile.seconds = 4.0;
  profile.timeIntervalSeconds = 1;
  profile.packetSize = c.packetSize;
  profile.programs[0].pcrPid = c.pcrPid;
  profile.injections = {{InjectKind::Drop, -1, 0, 0.002, 1},        {InjectKind::Duplicate, -1, 0, 0.001, 1},
                        {InjectKind::TransportError, -1, 0, 0.001, 1}, {InjectKind::Garbage, -1, 0, 0.0005, 7},
                        {InjectKind::Scrambled, -1, 0, 0.002, 1},   {InjectKind::AdaptationOnly, 0x0111, 0, 0.002, 1}};
  if (c.packetSize == kFramedPacketSize) profile.injections.push_back({InjectKind::Prefix47, -1, 0, 0.002, 1});
  return tsgen::Generate(profile, nullptr);
}

TEST(PlainBatch, SameStateAsTheFullStepsAfterEveryPass) {
  const Case cases[] = {
      {"188, PCR PID of its own", 188, 0x01FF, nullptr},
      {"192, PCR PID of its own", 192, 0x01FF, nullptr},
      {"188, PCR on the video PID", 188, 0x0111, nullptr},
      {"188, windows ending mid-stream", 188, 0x01FF, "0.5-1,1.8-2.6"},
      {"192, PCR on the video PID, windows", 192, 0x0111, "1-3"},
  };
  // Slices of a few packets and a few bytes more, odd sizes, a whole MiB.
  const std::vector<std::uint32_t> slices = {188 * 3 + 1, 4096, 189, 192 * 5 - 2, 65536, 1u << 20, 191};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes stream = MakeStream(c);
    ASSERT_FALSE(stream.empty());
    const Outcome full = RunBothInStep(stream, slices, c.duration);
    // The stream must give the comparison something to compare.
    EXPECT_FALSE(full.drops.empty());
    EXPECT_GT(full.progress.size(), 5u);
    EXPECT_EQ(full.windowEnded, c.duration != nullptr);
  }
}

// Tables that change under way: the PAT moves the PMT onto a former
// elementary-stream PID, the PMT moves the PCR onto a formerly plain PID
// and back, with drops on every PID before and after the changes.
TEST(PlainBatch, SameStateAsTheFullStepsWhenTablesChange) {
  const std::vector<std::pair<std::uint16_t, std::uint16_t>> layouts = {
      {0x01F0, 0x01FF}, {0x0111, 0x0112}, {0x01F0, 0x0111}, {0x0112, 0x01FF}};  // PMT PID, PCR PID
  Bytes stream;
  std::uint64_t seed = 1;
  for (const auto& [pmtPid, pcrPid] : layouts) {
    tsgen::Profile profile = tsgen::DefaultProfile();
    profile.seconds = 1.0;
    profile.seed = seed++;
    profile.programs[0].pmtPid = pmtPid;
    profile.programs[0].pcrPid = pcrPid;
    for (tsgen::ElementaryStream& es : profile.programs[0].streams) {
      if (es.pid == pmtPid) es.pid = 0x0113;
    }
    profile.injections = {{tsgen::InjectKind::Drop, -1, 0, 0.003, 1},
                          {tsgen::InjectKind::Duplicate, -1, 0, 0.001, 1},
                          {tsgen::InjectKind::TransportError, -1, 0, 0.001, 1},
                          {tsgen::InjectKind::SplitSection, -1, 0, 0.05, 1}};
    const Bytes part = tsgen::Generate(profile, nullptr);
    ASSERT_FALSE(part.empty()) << tsgen::CheckProfile(profile);
    stream.insert(stream.end(), part.begin(), part.end());
  }
  const std::vector<std::uint32_t> slices = {188 * 7 + 3, 65536, 190, 1u << 20};
  const Outcome full = RunBothInStep(stream, slices, nullptr);
  EXPECT_FALSE(full.drops.empty());
}

}  // namespace
}  // namespace kestrun
