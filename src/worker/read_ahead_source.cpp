#include "worker/read_ahead_source.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace kestrun {
namespace {

constexpr std::uint32_t kPageSize = 4096;
// Room in front of a slot's data: the porch, and up to a page more so that
// the data can start at the page offset of the file position it is read from.
constexpr std::uint32_t kSlotLead = kSlicePorch + kPageSize;
// Never smaller than one framed packet, so every slice moves the scan on.
constexpr std::uint32_t kSmallestSlice = 192;
// Half the slots: what a waiting side waits for.
constexpr std::uint32_t kRefillMark = kReadAheadSlots / 2;

// Slices that share the read buffer's capacity between the slots, at most
// kReadAheadSliceSize each and whole pages where the capacity allows, so
// that the file position keeps its page offset from one read to the next.
std::uint32_t SliceSizeFor(std::uint32_t capacity) {
  const std::int64_t perSlot = (static_cast<std::int64_t>(capacity) - kPageSize) / kReadAheadSlots;
  std::int64_t slice = std::min<std::int64_t>(perSlot - kSlotLead, kReadAheadSliceSize);
  if (slice >= kPageSize) slice -= slice % kPageSize;
  return static_cast<std::uint32_t>(std::max<std::int64_t>(slice, kSmallestSlice));
}

std::uint64_t RoundUpToPage(std::uint64_t value) { return (value + kPageSize - 1) / kPageSize * kPageSize; }

}  // namespace

ReadAheadSource::ReadAheadSource(platform::FileHandle handle, std::uint32_t capacity)
    : handle_(handle), capacity_(capacity), sliceSize_(SliceSizeFor(capacity)) {}

ReadAheadSource::~ReadAheadSource() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  slotFreed_.notify_one();
  thread_.join();
}

// The system copies a file's pages slowly into a destination that lies a
// few bytes past the page offset of the source on some processors; every
// read therefore lands at the page offset of the file position it starts
// from (whole-page slices keep it there).
bool ReadAheadSource::Start() {
  const std::uint64_t stride = RoundUpToPage(kSlotLead + static_cast<std::uint64_t>(sliceSize_));
  const std::uint64_t size = std::max<std::uint64_t>(capacity_, kReadAheadSlots * stride + kPageSize);
  block_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!block_) return false;
  const auto address = reinterpret_cast<std::uintptr_t>(block_.get());
  std::uint8_t* first = block_.get() + (kPageSize - address % kPageSize) % kPageSize;
  const std::int64_t position = platform::SeekFile(handle_, 0, platform::SeekOrigin::Current);
  const std::uint64_t lead =
      kSlicePorch + (static_cast<std::uint64_t>(std::max<std::int64_t>(position, 0)) - kSlicePorch) % kPageSize;
  for (std::uint32_t i = 0; i < kReadAheadSlots; ++i) slots_[i].data = first + i * stride + lead;
  platform::AdviseSequentialRead(handle_);
  started_ = true;
  try {
    thread_ = std::thread(&ReadAheadSource::ReadAheadLoop, this);
    threaded_ = true;
  } catch (const std::system_error&) {
    // Without a second thread the slices are read when they are asked for.
    threaded_ = false;
  }
  return true;
}

void ReadAheadSource::FillSlot(Slot& slot) {
  const platform::ReadResult read = platform::ReadFile(handle_, slot.data, sliceSize_);
  slot.count = read.ok ? std::min(read.count, sliceSize_) : 0;
  if (!read.ok) {
    slot.status = SliceStatus::Failed;
  } else {
    slot.status = slot.count > 0 ? SliceStatus::Ready : SliceStatus::Ended;
  }
}

// Fills the slots in turn while one is free; ends after the slice that
// found the end of the file or a failed read, or when told to stop. Either
// side that has to wait for the other waits for half the slots (free ones
// here, read ones in NextSlice), so the faster side is woken for every
// other slice only.
void ReadAheadSource::ReadAheadLoop() {
  for (std::uint32_t next = 0;; next = (next + 1) % kReadAheadSlots) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (held_ == kReadAheadSlots) {
        slotFreed_.wait(lock, [this] { return stopping_ || held_ <= kRefillMark; });
      }
      if (stopping_) return;
    }
    Slot& slot = slots_[next];
    FillSlot(slot);
    const bool last = slot.status != SliceStatus::Ready;
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++held_;
      finished_ = last;
      wake = ++filled_ == kRefillMark || last;
    }
    if (wake) slotFilled_.notify_one();
    if (last) return;
  }
}

SourceRead ReadAheadSource::Read(std::uint8_t* destination, std::uint32_t room) {
  if (copyLeft_ == 0) {
    const LentSlice slice = NextSlice();
    if (slice.status != SliceStatus::Ready) return {slice.status == SliceStatus::Ended, 0};
    copyFrom_ = slice.data;
    copyLeft_ = slice.count;
  }
  const std::uint32_t count = std::min(room, copyLeft_);
  std::memcpy(destination, copyFrom_, count);
  copyFrom_ += count;
  copyLeft_ -= count;
  return {true, count};
}

LentSlice ReadAheadSource::NextSlice() {
  if (finalStatus_ != SliceStatus::Ready) return {finalStatus_, nullptr, 0};
  if (!started_ && !Start()) return {SliceStatus::NoMemory, nullptr, 0};
  Slot& slot = slots_[nextLent_];
  if (threaded_) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (lent_ && --held_ == kRefillMark) slotFreed_.notify_one();
    if (filled_ == 0) {
      slotFilled_.wait(lock, [this] { return filled_ >= kRefillMark || finished_; });
    }
    --filled_;
    lent_ = true;
  } else {
    FillSlot(slot);
  }
  nextLent_ = (nextLent_ + 1) % kReadAheadSlots;
  if (slot.status != SliceStatus::Ready) {
    finalStatus_ = slot.status;
    return {slot.status, nullptr, 0};
  }
  return {SliceStatus::Ready, slot.data, slot.count};
}

}  // namespace kestrun
