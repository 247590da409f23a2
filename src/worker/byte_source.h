// Where the packet reader gets its bytes: a file, pipe or standard input
// read call, the tuner's reception buffer, or slices a file was read into
// ahead of the reader.
#pragma once

#include <cstdint>

namespace kestrun {

struct SourceRead {
  bool ok = false;          // false: the call failed (a broken pipe included)
  std::uint32_t count = 0;  // bytes delivered; 0 with ok means nothing now
};

// Room a lending source leaves free in front of every slice, where the
// reader puts the unjudged tail of the previous slice (at most one framed
// packet) so that the held data stays contiguous.
inline constexpr std::uint32_t kSlicePorch = 256;

enum class SliceStatus { Ready, Ended, Failed, NoMemory };

// A slice of the stream in the source's own memory, lent to the reader
// until its next NextSlice call. `data` has kSlicePorch writable bytes
// before it.
struct LentSlice {
  SliceStatus status = SliceStatus::Ended;
  std::uint8_t* data = nullptr;
  std::uint32_t count = 0;  // Ready: at least 1
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

  // A source that reads ahead into memory of its own lends its slices
  // instead of copying them: the reader then calls NextSlice, never Read.
  virtual bool LendsSlices() const { return false; }
  // Takes back the slice lent last and lends the next one, waiting until it
  // is read. Once the input has ended or failed, every call says so again,
  // until ReadOnAfterEnd.
  virtual LentSlice NextSlice() { return {}; }

  // For a file that is still being written: the next read looks for bytes
  // past the end met before. False when the source cannot read on (it
  // failed). A source whose reads never stop at an end needs nothing.
  virtual bool ReadOnAfterEnd() { return true; }
};

}  // namespace kestrun
