// The packet reader fed an arbitrary byte stream in fills of arbitrary size.
//
// Input layout:
//   byte 0        capacity: 150 + 17 * value bytes (some too small for a packet)
//   byte 1        requested packet size (the reader raises it to 188)
//   byte 2        n = value % 32 entries of the fill plan follow
//   n x 2 bytes   fill plan, big-endian, used in turn: bit 15 a failed read,
//                 0 a read that delivers nothing now, else the fill size
//   the rest      the stream
//
// Besides crashing, the reader must keep these promises:
// - a packet starts with 0x47, is 188 or 192 bytes long, lies inside what the
//   source has delivered, and holds exactly the stream bytes at its position;
// - packets come in stream order and never overlap;
// - where the fills are cut makes no difference: a run that only ever gets
//   whole fills finds the same packets at the same positions.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "worker/read_buffer.h"

namespace kestrun {

constexpr std::uint16_t kFailedRead = 0x8000;

namespace {

struct FillPlan {
  std::vector<std::uint16_t> steps;  // empty: every read fills all the room
  bool Interrupts() const {
    for (std::uint16_t step : steps) {
      if (step == 0 || (step & kFailedRead) != 0) return true;
    }
    return false;
  }
};

// Hands out the stream in the planned fill sizes, then nothing.
class PlannedSource : public ByteSource {
 public:
  PlannedSource(const std::uint8_t* data, std::size_t size, const FillPlan& plan)
      : data_(data), size_(size), plan_(plan) {}

  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override {
    if (room == 0) std::abort();  // the reader must always leave room for a read
    if (delivered_ >= size_) return {true, 0};
    std::size_t count = room;
    if (!plan_.steps.empty()) {
      const std::uint16_t step = plan_.steps[next_++ % plan_.steps.size()];
      if ((step & kFailedRead) != 0) return {false, 0};
      count = std::min<std::size_t>(count, step);
      if (count == 0) return {true, 0};
    }
    count = std::min(count, size_ - delivered_);
    std::memcpy(destination, data_ + delivered_, count);
    delivered_ += count;
    return {true, static_cast<std::uint32_t>(count)};
  }

  bool Exhausted() const { return delivered_ >= size_; }
  std::size_t Delivered() const { return delivered_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  const FillPlan& plan_;
  std::size_t delivered_ = 0;
  std::size_t next_ = 0;
};

struct Found {
  std::uint64_t position;
  std::uint32_t length;
  bool operator==(const Found&) const = default;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

// Reads the whole stream as the worker does for a polled source: after a
// read that gave nothing it asks again, until the source has nothing left.
std::vector<Found> ReadAll(const std::uint8_t* stream, std::size_t size, std::uint32_t capacity,
                           std::uint32_t requested, const FillPlan& plan) {
  PlannedSource source(stream, size, plan);
  ReadBuffer buffer;
  buffer.capacity = capacity;
  std::vector<Found> found;
  std::uint64_t nextFree = 0;
  int idleCalls = 0;
  // Every call delivers a packet or uses up at least one step of the plan,
  // and each round of the plan delivers at least a byte or ends the stream;
  // the bound only catches a reader that stops making progress.
  const std::size_t callLimit = 2 * (size + 16) * (plan.steps.size() + 2);
  for (std::size_t call = 0; call < callLimit; ++call) {
    const PacketResult result = NextPacket(buffer, source, requested);
    if (result.status == PacketStatus::CapacityTooSmall) {
      Check(capacity < std::max<std::uint32_t>(requested, kPlainPacketSize));
      return found;
    }
    Check(result.status != PacketStatus::NoMemory);
    if (!result.HasPacket()) {
      // A source with nothing left: a second call must deliver nothing too.
      if (source.Exhausted() && ++idleCalls >= 2) return found;
      continue;
    }
    idleCalls = 0;
    Check(result.length == kPlainPacketSize || result.length == kFramedPacketSize);
    Check(result.packet != nullptr && result.packet[0] == kSyncByte);
    Check(result.position >= nextFree);
    Check(result.position + kPlainPacketSize <= source.Delivered());
    Check(std::memcmp(result.packet, stream + result.position, kPlainPacketSize) == 0);
    nextFree = result.position + result.length;
    found.push_back({result.position, result.length});
  }
  std::abort();  // no progress
}

}  // namespace
}  // namespace kestrun

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrun;
  if (size < 3) return 0;
  const std::uint32_t capacity = 150 + 17u * data[0];
  const std::uint32_t requested = data[1];
  const std::size_t entries = data[2] % 32;
  std::size_t at = 3;
  FillPlan plan;
  for (std::size_t i = 0; i < entries && at + 2 <= size; ++i, at += 2) {
    plan.steps.push_back(static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]));
  }
  // A source that never delivers would only keep the reader asking.
  const bool delivers = std::any_of(plan.steps.begin(), plan.steps.end(), [](std::uint16_t step) {
    return step != 0 && (step & kFailedRead) == 0;
  });
  if (!plan.steps.empty() && !delivers) plan.steps.push_back(0x7FFF);
  const std::uint8_t* stream = data + at;
  const std::size_t streamSize = size - at;

  const std::vector<Found> planned = ReadAll(stream, streamSize, capacity, requested, plan);
  if (!plan.Interrupts()) {
    const std::vector<Found> whole = ReadAll(stream, streamSize, capacity, requested, FillPlan{});
    Check(planned == whole);
  }
  return 0;
}
