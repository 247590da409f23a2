// The part every lending source shares: a caller that only reads (a
// wrapper that does not pass slices on) is served by copying out of the
// slices, which the packet reader otherwise scans in place.
#pragma once

#include <cstdint>

#include "worker/byte_source.h"

namespace kestrun {

class SliceSource : public ByteSource {
 public:
  SourceRead Read(std::uint8_t* destination, std::uint32_t room) final;
  bool LendsSlices() const final { return true; }

 private:
  const std::uint8_t* copyFrom_ = nullptr;  // what Read has not yet copied of the lent slice
  std::uint32_t copyLeft_ = 0;
};

}  // namespace kestrun
