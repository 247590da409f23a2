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
#include "worker/slice_source.h"

namespace kestrun {

// The most one read call asks for.
inline constexpr std::uint32_t kFileSliceSize = 512u << 10;

class FileSliceSource final : public SliceSource {
 public:
  // Reads `handle` from its position at the first slice. Its memory is one
  // block of `capacity` bytes (the read buffer's size, so a size that
  // cannot be had is reported as for any source), of which a slice uses
  // the first few hundred KiB at most. Nothing is allocated before the
  // first slice is asked for, or Reserve.
  FileSliceSource(platform::FileHandle handle, std::uint32_t capacity);

  FileSliceSource(const FileSliceSource&) = delete;
  FileSliceSource& operator=(const FileSliceSource&) = delete;

  // The next slice, read over the one lent before. At the end of the file
  // each call reads again, so a file that has grown is read on.
  LentSlice NextSlice() override;
  bool ReadOnAfterEnd() override;

  // Allocates the block now; false when it cannot be had.
  bool Reserve();
  // The file position the next read starts at.
  std::uint64_t Position() const { return position_; }
  // Moves the handle so that the next read starts at `position` (another
  // way of reading the file has taken it that far).
  void ContinueAt(std::uint64_t position);

  std::uint32_t SliceSize() const { return sliceSize_; }

 private:
  std::uint8_t* SliceStartFor(std::uint64_t position) const;

  platform::FileHandle handle_;
  std::uint32_t capacity_;
  std::uint32_t sliceSize_;
  std::unique_ptr<std::uint8_t[]> block_;
  std::uint8_t* firstPage_ = nullptr;  // the first page boundary in the block
  bool positioned_ = false;            // position_ is known (taken at the first read)
  std::uint64_t position_ = 0;         // the file position the next read starts at
  bool failed_ = false;                // a read failed: every later call says so
};

}  // namespace kestrun
