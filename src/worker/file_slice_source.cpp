#include "worker/file_slice_source.h"

#include <algorithm>
#include <new>

namespace kestrun {
namespace {

constexpr std::uint32_t kPageSize = 4096;
// Room a slice may need besides its own bytes: the porch, up to a page in
// front of it so that it starts at the page offset of its file position,
// and up to a page to reach the first page boundary of the block.
constexpr std::uint32_t kSliceRoom = kSlicePorch + 2 * kPageSize;
// Never smaller than one framed packet, so every slice moves the scan on.
constexpr std::uint32_t kSmallestSlice = 192;

// At most kFileSliceSize and within the capacity, whole pages where the
// capacity allows, so that the file position keeps its page offset from
// one read to the next.
std::uint32_t SliceSizeFor(std::uint32_t capacity) {
  std::int64_t slice = std::min<std::int64_t>(static_cast<std::int64_t>(capacity) - kSliceRoom, kFileSliceSize);
  if (slice >= kPageSize) slice -= slice % kPageSize;
  return static_cast<std::uint32_t>(std::max<std::int64_t>(slice, kSmallestSlice));
}

}  // namespace

FileSliceSource::FileSliceSource(platform::FileHandle handle, std::uint32_t capacity)
    : handle_(handle), capacity_(capacity), sliceSize_(SliceSizeFor(capacity)) {}

bool FileSliceSource::Reserve() {
  if (block_) return true;
  const std::uint64_t size = std::max<std::uint64_t>(capacity_, std::uint64_t{kSliceRoom} + sliceSize_);
  block_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!block_) return false;
  const auto address = reinterpret_cast<std::uintptr_t>(block_.get());
  firstPage_ = block_.get() + (kPageSize - address % kPageSize) % kPageSize;
  return true;
}

void FileSliceSource::ContinueAt(std::uint64_t position) {
  platform::SeekFile(handle_, static_cast<std::int64_t>(position), platform::SeekOrigin::Begin);
  position_ = position;
  positioned_ = true;
  platform::AdviseSequentialRead(handle_);
}

// The system copies a file's pages several times slower into a destination
// that lies a few bytes off the page offset of the source on some
// processors, so every read lands at the page offset of the file position
// it starts from, behind at least the porch. Worked out for every read: a
// short read (a file still being written) moves that offset.
std::uint8_t* FileSliceSource::SliceStartFor(std::uint64_t position) const {
  const std::uint64_t offset = (position + kPageSize - kSlicePorch % kPageSize) % kPageSize;
  return firstPage_ + kSlicePorch + offset;
}

LentSlice FileSliceSource::NextSlice() {
  if (failed_) return {SliceStatus::Failed};
  if (!Reserve()) return {SliceStatus::NoMemory};
  if (!positioned_) {
    const std::int64_t position = platform::SeekFile(handle_, 0, platform::SeekOrigin::Current);
    position_ = static_cast<std::uint64_t>(std::max<std::int64_t>(position, 0));
    positioned_ = true;
    platform::AdviseSequentialRead(handle_);
  }
  std::uint8_t* data = SliceStartFor(position_);
  const platform::ReadResult read = platform::ReadFile(handle_, data, sliceSize_);
  if (!read.ok || read.count == 0) {
    failed_ = !read.ok;
    return {read.ok ? SliceStatus::Ended : SliceStatus::Failed};
  }
  const std::uint32_t count = std::min(read.count, sliceSize_);
  position_ += count;
  return {SliceStatus::Ready, data, count};
}

bool FileSliceSource::ReadOnAfterEnd() { return !failed_; }

}  // namespace kestrun
