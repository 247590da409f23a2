// The tuner thread's side of the hand-off: fetched blocks are gathered until
// enough of them, or old enough ones, make one append worth its kernel calls.
#include <cstring>
#include <new>

#include "tuner/bon_driver_tuner.h"

namespace kestrun {
namespace {

// Copies the block behind the staged bytes. False when it does not fit or the
// staging block cannot be had: the caller then appends directly.
bool Stage(StagedBytes& staged, const std::uint8_t* block, std::uint32_t size,
           std::chrono::steady_clock::time_point now) {
  if (std::uint64_t{staged.length} + size >= kTunerWakeBytes) return false;
  if (!staged.data) staged.data.reset(new (std::nothrow) std::uint8_t[kTunerWakeBytes]);
  if (!staged.data) return false;
  if (staged.length == 0) staged.oldest = now;
  std::memcpy(staged.data.get() + staged.length, block, size);
  staged.length += size;
  return true;
}

// Appends the staged bytes and then the block in one hand-off.
std::uint64_t HandOver(CBonDriverTuner& tuner, const std::uint8_t* block, std::uint32_t size) {
  StagedBytes& staged = tuner.staged;
  const std::uint64_t bytes = std::uint64_t{staged.length} + size;
  if (bytes == 0) return 0;
  const bool appended = AppendReceived(tuner, staged.data.get(), staged.length, block, size);
  staged.length = 0;
  return appended ? 0 : bytes;
}

}  // namespace

std::uint64_t WaitingBytes(const CBonDriverTuner& tuner) {
  return std::uint64_t{tuner.received.length.load()} + tuner.staged.length;
}

std::uint64_t KeepBlock(CBonDriverTuner& tuner, const std::uint8_t* block, std::uint32_t size,
                        std::chrono::steady_clock::time_point now) {
  if (!Stage(tuner.staged, block, size, now)) return HandOver(tuner, block, size);
  if (now - tuner.staged.oldest < kTunerStageAge) return 0;
  return HandOverStaged(tuner);
}

std::uint64_t HandOverStaged(CBonDriverTuner& tuner) { return HandOver(tuner, nullptr, 0); }

}  // namespace kestrun
