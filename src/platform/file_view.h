// Views of a file's cached pages mapped into memory, read in place, and the
// guard that turns a fault in such a view into a failed read. A view's
// pages can vanish under it: a file truncated while it is mapped raises
// SIGBUS at the next touch of a page past its new end on POSIX, and an I/O
// error in a view raises an in-page error on Windows (which refuses to
// truncate a mapped file).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace kestrun::platform {

struct FileView {
  const std::uint8_t* data = nullptr;  // null: no view
  std::size_t size = 0;
};

// What the file offset of a view must be a multiple of: the page size on
// POSIX, the allocation granularity on Windows.
std::uint32_t ViewAlignment();
// Maps `length` bytes of the file from `offset` for reading, advised as
// read once from start to end. An empty view when it cannot be mapped (a
// range past the file's end included, on Windows).
FileView MapFileView(FileHandle handle, std::uint64_t offset, std::size_t length);
void UnmapFileView(FileView& view);

// The view whose faults the calling thread's guard catches (an empty one:
// none). Set by the code that lends the view, on the thread that reads it.
void GuardView(const FileView& view);

struct GuardedRun {
  bool faulted = false;
  const std::uint8_t* faultAddress = nullptr;  // the byte whose read faulted
};
// Runs body(argument) on the calling thread. A fault on reading a byte of
// the guarded view ends the body there and then, without unwinding: the
// body touches views only where no object with a destructor is alive
// that would be skipped, and keeps no lock across such a touch. Every
// other fault keeps its default action. Not to be nested.
GuardedRun RunGuardingViews(void (*body)(void*), void* argument);

}  // namespace kestrun::platform
