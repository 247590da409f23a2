#include "worker/slice_source.h"

#include <algorithm>
#include <cstring>

namespace kestrun {

SourceRead SliceSource::Read(std::uint8_t* destination, std::uint32_t room) {
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

}  // namespace kestrun
