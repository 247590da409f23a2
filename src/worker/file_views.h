// A regular file lent to the packet reader as views of its own cached
// pages, one window at a time, so that the reader scans them in place with
// no copy. Each window is mapped when the reader asks for the next slice
// and unmapped at the ask after, so the file's pages take up memory one
// window at a time however large the file is. The tail the reader still
// needs is not copied either: the next window starts early enough to hold
// it in front of the new bytes.
#pragma once

#include <cstdint>

#include "platform/file_view.h"
#include "worker/byte_source.h"

namespace kestrun {

// The most one window maps. Large enough that mapping it is a small part
// of reading it; small enough to keep the memory the file's pages take up
// small (and the 32-bit build's address space free).
inline constexpr std::uint32_t kViewWindowSize = 8u << 20;

class FileViews {
 public:
  // `windowSize` is rounded up to whole platform::ViewAlignment() units,
  // at least two.
  FileViews(platform::FileHandle handle, std::uint32_t windowSize);
  ~FileViews() { Release(); }

  FileViews(const FileViews&) = delete;
  FileViews& operator=(const FileViews&) = delete;

  // Unmaps the window lent before and lends the next one: from the file
  // position after the bytes lent so far (the handle's position at the
  // first call), with the last `keep` of those bytes in front. At the end
  // of the size the file showed, its size is looked at again, so a file
  // that has grown is read on. Ended: none past that size, or no view
  // could be mapped there.
  LentSlice Next(std::uint32_t keep);
  // Unmaps the window lent last; Next maps from where it ended.
  void Release();

  // The file position after the bytes lent so far.
  std::uint64_t Position() const { return position_; }
  // The next window starts at `position` (another way of reading the file
  // has taken it that far).
  void ContinueAt(std::uint64_t position);
  // The bytes lent at or behind `address`, a byte of the window lent last.
  std::uint64_t BytesFrom(const std::uint8_t* address) const;

 private:
  platform::FileHandle handle_;
  std::uint32_t windowSize_;
  platform::FileView view_;
  std::uint64_t viewOffset_ = 0;  // the file offset of view_.data[0]
  bool positioned_ = false;       // position_ is known (taken at the first call)
  std::uint64_t position_ = 0;
  std::uint64_t knownSize_ = 0;   // the file's size when last looked at
};

}  // namespace kestrun
