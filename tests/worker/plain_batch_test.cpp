// The batch of plain packets against the full steps for every packet: the
// same generated streams, full of faults, read from slices whose edges fall
// anywhere (inside 188- and 192-byte packets, between sync byte and
// confirmation), once as the loop ran before batches existed and once as the
// worker runs it now. Every count, every clock, every drop and progress pass
// (by position and play time) and the end of the play-time windows must
// come out the same.
#include "worker/plain_batch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "ts/dispatch.h"
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

// What a run leaves and what it would have printed where.
struct Outcome {
  std::vector<std::tuple<std::uint16_t, std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t,
                         std::uint8_t, bool>>
      pids;  // pid, total, drops, scrambled, tei, last counter, first
  std::vector<std::tuple<std::uint64_t, std::uint16_t, std::uint64_t>> drops;  // position, pid, play time
  std::vector<std::tuple<std::uint64_t, std::uint64_t>> progress;              // position, play time
  std::vector<std::uint64_t> clocks;
  std::int64_t totSeconds = 0;
  std::size_t programs = 0;
  std::uint64_t framed = 0;
  bool windowEnded = false;
  bool operator==(const Outcome&) const = default;
};

constexpr std::int32_t kProgressInterval = 1000;

std::uint64_t PlayTime(const TsContext& context) { return SelectClock(context).elapsed; }

// The read loop without output: every pass through the full steps, or runs
// of plain packets through the batch first, as the worker does.
Outcome RunLoop(const Bytes& stream, const std::vector<std::uint32_t>& slices, bool batches,
                const char* duration) {
  SliceSource source(stream, slices);
  ReadBuffer buffer;
  buffer.capacity = 1u << 20;
  TsContextList contexts;
  TsContext& context = *CreateContext(contexts, 0, {});
  std::optional<DurationWindows> windows;
  if (duration != nullptr) StartWindows(windows.emplace(), duration);
  Outcome out;
  std::int32_t counter = 0;
  for (;;) {
    if (windows && WindowsExhausted(*windows, PlayTime(context))) {
      out.windowEnded = true;
      break;
    }
    if (batches && counter < kProgressInterval) {
      const auto limit = static_cast<std::uint32_t>(kProgressInterval - counter);
      const PlainBatch batch = windows ? CheckPlainPackets<true>(buffer, context, limit)
                                       : CheckPlainPackets<false>(buffer, context, limit);
      if (batch.playTimeMoved) WindowGate(*windows, PlayTime(context), false);
      counter += static_cast<std::int32_t>(batch.packets);
      out.framed += batch.framed;
      if (batch.packets > 0) continue;
    }
    ++counter;
    const PacketResult next = NextPacket(buffer, source);
    if (!next.HasPacket()) break;
    out.framed += next.length == kFramedPacketSize ? 1 : 0;
    PidState* state = ParsePacket(next.packet, context);
    if (state == nullptr || !state->parsed) continue;
    const bool drop = CheckContinuity(context, *state);
    UpdateClocks(context, *state);
    if (!windows || WindowGate(*windows, PlayTime(context), false)) DispatchTables(next.packet, context, *state);
    if (drop) out.drops.emplace_back(next.position, state->pid, PlayTime(context));
    if (drop && HasPcrPid(context)) continue;
    if (counter > kProgressInterval) {
      out.progress.emplace_back(next.position, PlayTime(context));
      counter = 0;
    }
  }
  ReleaseReadBuffer(buffer);
  for (const auto& s : context.pidList) {
    out.pids.emplace_back(s->pid, s->totalCount, s->dropCount, s->scrambledCount, s->teiCount, s->lastCc,
                          s->first);
  }
  for (const TimestampClock* c : {&context.pcrClock, &context.ptsClock, &context.dtsClock}) {
    out.clocks.insert(out.clocks.end(), {c->base, c->elapsed, c->lastSample});
  }
  out.totSeconds = context.totSeconds;
  out.programs = context.programList.size();
  return out;
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

TEST(PlainBatch, SameOutcomeAsTheFullStepsForEveryPacket) {
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
    const Outcome full = RunLoop(stream, slices, false, c.duration);
    const Outcome batched = RunLoop(stream, slices, true, c.duration);
    EXPECT_EQ(batched, full);
    // The stream must give the comparison something to compare.
    EXPECT_FALSE(full.drops.empty());
    EXPECT_GT(full.progress.size(), 5u);
    EXPECT_EQ(full.windowEnded, c.duration != nullptr);
  }
}

}  // namespace
}  // namespace kestrun
