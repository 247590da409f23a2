// Where the packet reader gets its bytes: a file, pipe or standard input
// read call, the tuner's reception buffer, or slices of a file lent to the
// reader (read into memory of the source's own, or views of the file's
// cached pages).
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

// A slice of the stream lent to the reader. Its bytes, and the tail in
// front of it, stay valid until the reader's next NextSlice or
// NextSliceKeeping call and not a moment longer: a view is unmapped then,
// and a read slice is read over. Whoever keeps bytes of a packet past that
// call must copy them first.
struct LentSlice {
  SliceStatus status = SliceStatus::Ended;
  // Unless tailInFront, kSlicePorch writable bytes lie before it.
  std::uint8_t* data = nullptr;
  std::uint32_t count = 0;  // Ready: at least 1; the bytes new to the reader
  // The `keep` bytes the reader asked to keep already lie in front of
  // `data` (a view of the file itself); they are readable, not writable.
  bool tailInFront = false;
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
  // is read. Once the input has failed, every call says so again; at its
  // end every call looks again, so a file that has grown is read on.
  virtual LentSlice NextSlice() { return {}; }
  // NextSlice for a reader that still needs the last `keep` bytes it was
  // lent (its unjudged tail, at most kSlicePorch): a source that lends
  // views of the file itself puts them in front of the next slice.
  virtual LentSlice NextSliceKeeping(std::uint32_t keep) {
    (void)keep;
    return NextSlice();
  }
  // A fault in a view this source lent (a file truncated under it) ended
  // the reader at `address`: the source fails from now on, and returns how
  // many of the bytes it lent lie at or behind that address, unchecked.
  virtual std::uint64_t EndAtFault(const std::uint8_t* address) {
    (void)address;
    return 0;
  }

  // For a file that is still being written: the next read looks for bytes
  // past the end met before. False when the source cannot read on (it
  // failed). A source that looks again at every call needs nothing more.
  virtual bool ReadOnAfterEnd() { return true; }
};

}  // namespace kestrun
