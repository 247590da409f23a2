#include "worker/file_views.h"

#include <algorithm>

namespace kestrun {
namespace {

// Whole alignment units, at least two: a window then always reaches past
// the kept tail, which lies within one unit of its start.
std::uint32_t WholeWindow(std::uint32_t size) {
  const std::uint32_t unit = platform::ViewAlignment();
  return std::max((size + unit - 1) / unit, 2u) * unit;
}

}  // namespace

FileViews::FileViews(platform::FileHandle handle, std::uint32_t windowSize)
    : handle_(handle), windowSize_(WholeWindow(windowSize)) {}

void FileViews::Release() {
  platform::GuardView({});
  platform::UnmapFileView(view_);
}

void FileViews::ContinueAt(std::uint64_t position) {
  position_ = position;
  positioned_ = true;
}

LentSlice FileViews::Next(std::uint32_t keep) {
  Release();
  if (!positioned_) {
    const std::int64_t position = platform::SeekFile(handle_, 0, platform::SeekOrigin::Current);
    ContinueAt(static_cast<std::uint64_t>(std::max<std::int64_t>(position, 0)));
  }
  if (position_ >= knownSize_) knownSize_ = static_cast<std::uint64_t>(platform::FileSizeOf(handle_));
  if (position_ >= knownSize_) return {SliceStatus::Ended};
  const std::uint64_t from = position_ - std::min<std::uint64_t>(keep, position_);
  const std::uint64_t offset = from - from % platform::ViewAlignment();
  const std::uint64_t end = std::min(offset + windowSize_, knownSize_);
  view_ = platform::MapFileView(handle_, offset, static_cast<std::size_t>(end - offset));
  if (view_.data == nullptr) return {SliceStatus::Ended};
  platform::GuardView(view_);
  viewOffset_ = offset;
  // The reader writes in front of a slice only when the tail is not there
  // already, so the view is never written through.
  const LentSlice next{SliceStatus::Ready, const_cast<std::uint8_t*>(view_.data + (position_ - offset)),
                       static_cast<std::uint32_t>(end - position_), true};
  position_ = end;
  return next;
}

std::uint64_t FileViews::BytesFrom(const std::uint8_t* address) const {
  const std::uint64_t at = viewOffset_ + static_cast<std::uint64_t>(address - view_.data);
  return position_ > at ? position_ - at : 0;
}

}  // namespace kestrun
