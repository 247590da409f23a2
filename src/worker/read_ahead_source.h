// Reads a regular file ahead of the packet reader: a thread of its own
// reads the next slices while the worker checks the current one, so the
// system's copy of the file runs on another core beside the analysis.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/platform.h"
#include "worker/byte_source.h"

namespace kestrun {

// The most one read call of the read-ahead thread asks for. The slices
// together stay in the shared cache, so the worker finds each one there
// rather than in main memory, and each is large enough that handing it
// over costs little.
inline constexpr std::uint32_t kReadAheadSliceSize = 1024u << 10;
inline constexpr std::uint32_t kReadAheadSlots = 4;

class ReadAheadSource final : public ByteSource {
 public:
  // Reads `handle` from its current position. Its memory is one block of
  // `capacity` bytes (the read buffer's size, so a size that cannot be had
  // is reported as for any source), of which the slices use the first few
  // MiB at most. Nothing is allocated or started before the first slice is
  // asked for.
  ReadAheadSource(platform::FileHandle handle, std::uint32_t capacity);
  // Stops the thread and waits for it; at most the read call under way
  // finishes first.
  ~ReadAheadSource() override;

  ReadAheadSource(const ReadAheadSource&) = delete;
  ReadAheadSource& operator=(const ReadAheadSource&) = delete;

  // For a caller that only reads (a wrapper that does not pass slices on):
  // copies out of the slices, which the reader otherwise scans in place.
  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override;
  bool LendsSlices() const override { return true; }
  LentSlice NextSlice() override;

  std::uint32_t SliceSize() const { return sliceSize_; }

 private:
  struct Slot {
    std::uint8_t* data = nullptr;
    SliceStatus status = SliceStatus::Ended;
    std::uint32_t count = 0;
  };

  bool Start();
  void ReadAheadLoop();
  void FillSlot(Slot& slot);

  platform::FileHandle handle_;
  std::uint32_t capacity_;
  std::uint32_t sliceSize_ = 0;
  std::unique_ptr<std::uint8_t[]> block_;  // the slots lie in it
  Slot slots_[kReadAheadSlots];
  bool started_ = false;
  bool threaded_ = false;  // false: the thread could not be started; slices are read on demand
  std::uint32_t nextLent_ = 0;  // the slot the worker takes next
  bool lent_ = false;           // the worker holds the slot before nextLent_
  SliceStatus finalStatus_ = SliceStatus::Ready;  // Ended or Failed once the worker has met the end
  const std::uint8_t* copyFrom_ = nullptr;  // what Read has not yet copied of the lent slice
  std::uint32_t copyLeft_ = 0;

  // Shared with the thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable slotFilled_;
  std::condition_variable slotFreed_;
  std::uint32_t filled_ = 0;  // slots read and not yet lent
  std::uint32_t held_ = 0;    // slots read and not yet given back (lent ones included)
  bool finished_ = false;     // the thread has read its last slice
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kestrun
