// A byte source that adds up what every read call or lent slice delivers
// (less what a fault left unchecked); everything else is the wrapped
// source's own.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "worker/byte_source.h"

namespace kestrun {

class CountingByteSource final : public ByteSource {
 public:
  CountingByteSource(std::unique_ptr<ByteSource> inner, std::uint64_t& total)
      : inner_(std::move(inner)), total_(total) {}

  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override {
    const SourceRead result = inner_->Read(destination, room);
    total_ += result.count;
    return result;
  }
  void WaitForData() override { inner_->WaitForData(); }
  bool LendsSlices() const override { return inner_->LendsSlices(); }
  LentSlice NextSlice() override { return Counted(inner_->NextSlice()); }
  LentSlice NextSliceKeeping(std::uint32_t keep) override {
    return Counted(inner_->NextSliceKeeping(keep));
  }
  std::uint64_t EndAtFault(const std::uint8_t* address) override {
    const std::uint64_t unchecked = inner_->EndAtFault(address);
    total_ -= unchecked < total_ ? unchecked : total_;
    return unchecked;
  }

 private:
  LentSlice Counted(const LentSlice& slice) {
    if (slice.status == SliceStatus::Ready) total_ += slice.count;
    return slice;
  }
  bool ReadOnAfterEnd() override { return inner_->ReadOnAfterEnd(); }

  std::unique_ptr<ByteSource> inner_;
  std::uint64_t& total_;
};

}  // namespace kestrun
