// A byte source whose every read call and wait parks the job, so that a
// report on it can be made while the worker waits for input.
#pragma once

#include <memory>
#include <utility>

#include "worker/byte_source.h"
#include "worker/live_job.h"

namespace kestrun {

class ParkingByteSource final : public ByteSource {
 public:
  ParkingByteSource(std::unique_ptr<ByteSource> inner, LiveJob& live)
      : inner_(std::move(inner)), live_(live) {}

  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override {
    ParkedScope parked(&live_);
    return inner_->Read(destination, room);
  }
  void WaitForData() override {
    ParkedScope parked(&live_);
    inner_->WaitForData();
  }
  bool LendsSlices() const override { return inner_->LendsSlices(); }
  LentSlice NextSlice() override {
    ParkedScope parked(&live_);
    return inner_->NextSlice();
  }
  // The kept tail must reach the source: one that lends views of the file
  // maps the next view early enough to hold it in front.
  LentSlice NextSliceKeeping(std::uint32_t keep) override {
    ParkedScope parked(&live_);
    return inner_->NextSliceKeeping(keep);
  }
  std::uint64_t EndAtFault(const std::uint8_t* address) override { return inner_->EndAtFault(address); }
  bool ReadOnAfterEnd() override { return inner_->ReadOnAfterEnd(); }

 private:
  std::unique_ptr<ByteSource> inner_;
  LiveJob& live_;
};

}  // namespace kestrun
