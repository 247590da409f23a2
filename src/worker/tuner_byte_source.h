// Reads from the tuner's reception buffer in place of a file read.
#pragma once

#include "tuner/bon_driver_tuner.h"
#include "worker/byte_source.h"

namespace kestrun {

class TunerByteSource final : public ByteSource {
 public:
  explicit TunerByteSource(CBonDriverTuner& tuner) : tuner_(tuner) {}

  // Nothing waiting is not a failure: the tuner has no end of stream.
  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override {
    std::uint32_t count = 0;
    TakeReceived(tuner_, destination, room, &count);
    return {true, count};
  }

  void WaitForData() override { WaitForReceived(tuner_, kTunerWaitSlice); }

 private:
  CBonDriverTuner& tuner_;
};

}  // namespace kestrun
