// Reads a regular file for the packet reader one slice at a time into a
// block of its own, and lends each slice to the reader, which scans it in
// place. A slice is small enough to stay in the core's own cache from the
// read call's copy to the check of its last packet, which is what makes a
// cached file fast: the copy and the check then run at the speed of that
// cache, where handing the slices to another core (a read-ahead thread)
// has every byte cross between the cores' caches twice.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"
#include "worker/byte_source.h"

namespace kestrun {

// The most one read call asks for.
inline constexpr std::uint32_t kFileSliceSize = 512u << 10;

class FileSliceSource final : public ByteSource {
 public:
  // Reads `handle` from its current position. Its memory is one block of
  // `capacity` bytes (the read buffer's size, so a size that cannot be had
  // is reported as for any source), of which a slice uses the first few
  // hundred KiB at most. Nothing is allocated before the first slice is
  // asked for.
  FileSliceSource(platform::FileHandle handle, std::uint32_t capacity);

  FileSliceSource(const FileSliceSource&) = delete;
  FileSliceSource& operator=(const FileSliceSource&) = delete;

  // For a caller that only reads (a wrapper that does not pass slices on):
  // copies out of the slices, which the reader otherwise scans in place.
  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override;
  bool LendsSlices() const override { return true; }
  // The next slice, read over the one lent before.
  LentSlice NextSlice() override;
  bool ReadOnAfterEnd() override;

  std::uint32_t SliceSize() const { return sliceSize_; }

 private:
  bool Start();
  std::uint8_t* SliceStartFor(std::uint64_t position) const;

  platform::FileHandle handle_;
  std::uint32_t capacity_;
  std::uint32_t sliceSize_;
  std::unique_ptr<std::uint8_t[]> block_;
  std::uint8_t* firstPage_ = nullptr;  // the first page boundary in the block
  std::uint64_t position_ = 0;         // the file position the next read starts at
  SliceStatus finalStatus_ = SliceStatus::Ready;  // Ended or Failed once the end was met
  const std::uint8_t* copyFrom_ = nullptr;  // what Read has not yet copied of the lent slice
  std::uint32_t copyLeft_ = 0;
};

}  // namespace kestrun
