// A byte source that adds up what every read call or lent slice delivers;
// everything else is the wrapped source's own.
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
  LentSlice NextSlice() override {
    const LentSlice slice = inner_->NextSlice();
    if (slice.status == SliceStatus::Ready) total_ += slice.count;
    return slice;
  }
  bool ReadOnAfterEnd() override { return inner_->ReadOnAfterEnd(); }

 private:
  std::unique_ptr<ByteSource> inner_;
  std::uint64_t& total_;
};

}  // namespace kestrun
