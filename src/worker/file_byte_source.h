// Read calls on a file, pipe or standard-input handle.
#pragma once

#include "platform/platform.h"
#include "worker/byte_source.h"

namespace kestrun {

class FileByteSource final : public ByteSource {
 public:
  // `interruptible`: the handle may block for an unbounded time (a pipe or
  // standard input), so the read waits in short slices and gives up when a
  // stop is requested instead of blocking the worker past Ctrl+C.
  FileByteSource(platform::FileHandle handle, bool interruptible)
      : handle_(handle), interruptible_(interruptible) {}

  SourceRead Read(std::uint8_t* destination, std::uint32_t room) override;
  // Standard input at its end keeps being polled: a pause between the polls.
  void WaitForData() override;

 private:
  platform::FileHandle handle_;
  bool interruptible_;
  bool atEnd_ = false;  // the last read delivered nothing or failed
};

}  // namespace kestrun
