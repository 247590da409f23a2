#include "worker/regular_file_source.h"

namespace kestrun {

RegularFileSource::RegularFileSource(platform::FileHandle handle, std::uint32_t capacity,
                                     FileAccess access, std::uint32_t windowSize, CostClock clock)
    : reads_(handle, capacity),
      views_(handle, windowSize),
      clock_(clock),
      viaViews_(access != FileAccess::Reads),
      stage_(access == FileAccess::Measured ? Stage::ViewTrial : Stage::Decided) {}

void RegularFileSource::SwitchToReads() {
  reads_.ContinueAt(views_.Position());
  views_.Release();
  viaViews_ = false;
}

void RegularFileSource::SwitchToViews() {
  views_.ContinueAt(reads_.Position());
  viaViews_ = true;
}

// Books the slice lent last (asked for until now) to the way that lent it,
// and moves the trial on: after the first window of views, reads; once the
// reads have lent as much, whichever cost less per byte.
void RegularFileSource::Measure(std::uint64_t now) {
  Tally& tally = lentByViews_ ? viewCost_ : readCost_;
  tally.ticks += now - lentAt_;
  tally.bytes += lentCount_;
  if (stage_ == Stage::ViewTrial && viewCost_.bytes > 0) {
    SwitchToReads();
    stage_ = Stage::ReadTrial;
  } else if (stage_ == Stage::ReadTrial && readCost_.bytes >= viewCost_.bytes) {
    if (viewCost_.ticks * readCost_.bytes <= readCost_.ticks * viewCost_.bytes) SwitchToViews();
    stage_ = Stage::Decided;
  }
}

// Where no view can be had (a failed map), and at the end of the size the
// file shows, read calls take over: a file whose size says nothing of its
// contents (some special files show 0) is read as far as reads go, and
// one that grows on is read on.
LentSlice RegularFileSource::FromViews(std::uint32_t keep) {
  const LentSlice view = views_.Next(keep);
  if (view.status == SliceStatus::Ready) return view;
  SwitchToReads();
  stage_ = Stage::Decided;
  return reads_.NextSlice();
}

LentSlice RegularFileSource::NextSliceKeeping(std::uint32_t keep) {
  if (failed_) return {SliceStatus::Failed};
  if (!reads_.Reserve()) return {SliceStatus::NoMemory};
  const bool timed = stage_ != Stage::Decided;
  const std::uint64_t now = timed ? clock_() : 0;
  if (timed && lentCount_ > 0) Measure(now);
  const bool byViews = viaViews_;
  const LentSlice slice = byViews ? FromViews(keep) : reads_.NextSlice();
  lentAt_ = now;
  lentCount_ = slice.status == SliceStatus::Ready ? slice.count : 0;
  lentByViews_ = byViews && viaViews_;
  return slice;
}

std::uint64_t RegularFileSource::EndAtFault(const std::uint8_t* address) {
  if (!viaViews_) return 0;
  failed_ = true;
  return views_.BytesFrom(address);
}

}  // namespace kestrun
