// The source of a regular file: views of its cached pages (FileViews) where
// mapping them costs this machine less than copying them out with read
// calls, read slices (FileSliceSource) where not, and read slices wherever
// a view cannot be had and past the end of the size the file shows.
//
// Which way costs less depends on the machine more than on the file. A view
// saves the copy, but the first touch of every mapped page costs something,
// and on some machines (a virtual machine whose host keeps the page tables
// for it, for one) far more than the copy. So unless told which way to go,
// the source reads the first window through a view and as many bytes again
// through read calls, timing each by the worker thread's processor time
// (the reader's check of the bytes included), and reads the rest the way
// that cost less per byte. Both ways deliver the same bytes at the same
// positions, so nothing but the speed depends on the choice.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "worker/file_slice_source.h"
#include "worker/file_views.h"
#include "worker/slice_source.h"

namespace kestrun {

enum class FileAccess { Measured, Views, Reads };

class RegularFileSource final : public SliceSource {
 public:
  using CostClock = std::uint64_t (*)();

  // `capacity`: the read buffer's size, allocated by the first slice in
  // either way, so a size that cannot be had is reported as for any source.
  RegularFileSource(platform::FileHandle handle, std::uint32_t capacity,
                    FileAccess access = FileAccess::Measured, std::uint32_t windowSize = kViewWindowSize,
                    CostClock clock = platform::ThreadCpuTicks);

  LentSlice NextSlice() override { return NextSliceKeeping(0); }
  LentSlice NextSliceKeeping(std::uint32_t keep) override;
  std::uint64_t EndAtFault(const std::uint8_t* address) override;
  bool ReadOnAfterEnd() override { return !failed_ && reads_.ReadOnAfterEnd(); }

 private:
  enum class Stage { ViewTrial, ReadTrial, Decided };
  struct Tally {
    std::uint64_t ticks = 0;
    std::uint64_t bytes = 0;
  };

  void Measure(std::uint64_t now);
  void SwitchToReads();
  void SwitchToViews();
  LentSlice FromViews(std::uint32_t keep);

  FileSliceSource reads_;
  FileViews views_;
  CostClock clock_;
  bool viaViews_;
  bool failed_ = false;
  Stage stage_;
  // The trial: the slice lent last, when it was asked for and which way.
  std::uint64_t lentAt_ = 0;
  std::uint32_t lentCount_ = 0;
  bool lentByViews_ = false;
  Tally viewCost_;
  Tally readCost_;
};

}  // namespace kestrun
