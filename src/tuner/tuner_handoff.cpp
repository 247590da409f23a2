// The hand-off between the tuner thread, which appends fetched blocks, and
// the worker, which takes them. Each side waits for the other's event, resets
// its own, works on the buffer and sets its own event again; the guard is held
// over all of it, so an append and a take never overlap and the waits, taken
// under the guard, find the other side's event set.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "tuner/bon_driver_tuner.h"

namespace kestrun {
namespace {

// Makes room for `size` more bytes and a terminator behind the waiting ones:
// moves them to the front of the block when that is enough, else replaces
// the block by a larger one (zero-filled, with a reserve of at least the
// waiting bytes, so that a worker falling behind costs few copies). False
// when the block cannot grow.
bool MakeRoom(ReceptionBuffer& buffer, std::uint64_t size) {
  const std::uint32_t length = buffer.length.load();
  const std::uint64_t needed = length + size + 1;
  if (buffer.head + needed <= buffer.capacity) return true;
  if (needed <= buffer.capacity) {
    std::memmove(buffer.data.get(), buffer.data.get() + buffer.head, length);
    buffer.head = 0;
    return true;
  }
  const std::uint64_t grown = needed + std::max<std::uint64_t>(kTunerBufferReserve, length);
  if (grown > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[grown]());
  if (!block) return false;
  if (length > 0) std::memcpy(block.get(), buffer.data.get() + buffer.head, length);
  buffer.data = std::move(block);
  buffer.head = 0;
  buffer.capacity = static_cast<std::uint32_t>(grown);
  return true;
}

// The pieces are written behind the waiting bytes before the length says
// so; the worker never looks past the length.
bool GrowAndAppend(ReceptionBuffer& buffer, const std::uint8_t* first, std::uint32_t firstSize,
                   const std::uint8_t* second, std::uint32_t secondSize) {
  if (!MakeRoom(buffer, std::uint64_t{firstSize} + secondSize)) return false;
  const std::uint32_t length = buffer.length.load();
  std::uint8_t* end = buffer.data.get() + buffer.head + length;
  if (firstSize > 0) std::memcpy(end, first, firstSize);
  if (secondSize > 0) std::memcpy(end + firstSize, second, secondSize);
  buffer.length.store(length + firstSize + secondSize);
  return true;
}

// Copies the first bytes out; the rest waits behind the head, in order.
std::uint32_t TakeFront(ReceptionBuffer& buffer, std::uint8_t* destination, std::uint32_t capacity) {
  const std::uint32_t length = buffer.length.load();
  const std::uint32_t taken = length < capacity ? length : capacity;
  if (taken == 0) return 0;
  std::memcpy(destination, buffer.data.get() + buffer.head, taken);
  buffer.head = taken < length ? buffer.head + taken : 0;
  buffer.length.store(length - taken);
  return taken;
}

}  // namespace

bool AppendReceived(CBonDriverTuner& tuner, const std::uint8_t* first, std::uint32_t firstSize,
                    const std::uint8_t* second, std::uint32_t secondSize) {
  if (first == nullptr) firstSize = 0;
  if (second == nullptr) secondSize = 0;
  if (firstSize == 0 && secondSize == 0) return true;
  std::lock_guard lock(tuner.handoff);
  if (tuner.lockEvent) tuner.lockEvent->Wait();
  if (tuner.lock2Event) tuner.lock2Event->Reset();
  const std::uint32_t before = tuner.received.length.load();
  const bool appended = GrowAndAppend(tuner.received, first, firstSize, second, secondSize);
  if (tuner.lock2Event) tuner.lock2Event->Set();
  if (before < kTunerWakeBytes && tuner.received.length.load() >= kTunerWakeBytes) {
    tuner.appended.notify_one();
  }
  return appended;
}

bool TakeReceived(CBonDriverTuner& tuner, std::uint8_t* destination, std::uint32_t capacity,
                  std::uint32_t* count) {
  if (count != nullptr) *count = 0;
  if (destination == nullptr || capacity == 0) return false;
  // Nothing waiting: leave the events alone.
  if (tuner.received.length.load() == 0) return false;
  std::uint32_t taken = 0;
  {
    std::lock_guard lock(tuner.handoff);
    if (tuner.lockEvent && tuner.lock2Event) tuner.lock2Event->Wait();
    if (tuner.lockEvent) tuner.lockEvent->Reset();
    if (tuner.running.load()) taken = TakeFront(tuner.received, destination, capacity);
    if (tuner.lockEvent) tuner.lockEvent->Set();
  }
  if (count != nullptr) *count = taken;
  return taken > 0;
}

void WaitForReceived(CBonDriverTuner& tuner, std::chrono::milliseconds timeout) {
  std::unique_lock lock(tuner.handoff);
  tuner.appended.wait_for(lock, timeout,
                          [&tuner] { return tuner.received.length.load() >= kTunerWakeBytes; });
}

}  // namespace kestrun
