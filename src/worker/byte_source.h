// Where the packet reader gets its bytes: a file, pipe or standard input
// read call, or the tuner's reception buffer.
#pragma once

#include <cstdint>

namespace kestrun {

struct SourceRead {
  bool ok = false;          // false: the call failed (a broken pipe included)
  std::uint32_t count = 0;  // bytes delivered; 0 with ok means nothing now
};

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // One read call asking for up to `room` bytes into `destination`.
  virtual SourceRead Read(std::uint8_t* destination, std::uint32_t room) = 0;
  // Called when a source that keeps polling gave no packet: waits a short
  // while for more data instead of letting the read loop spin, and returns
  // soon enough for a stop request to be seen at once.
  virtual void WaitForData() {}
};

}  // namespace kestrun
