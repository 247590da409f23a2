#include <windows.h>

#include "platform/platform.h"

namespace kestrun::platform {

namespace {

// A pipe has no readiness wait for a handle opened without overlapped I/O:
// it is looked at in steps this short, so a writer whose pipe buffer is full
// is held up no longer than one step; once it has been quiet for a while,
// in slightly longer steps, so that an idle wait costs next to nothing.
constexpr unsigned kPeekStepMs = 1;
constexpr unsigned kQuietAfterMs = 20;
constexpr unsigned kQuietPeekStepMs = 4;

// False only while the pipe is open and empty: data, its end and errors are
// for the read call to tell.
bool PipeHasDataOrEnded(HANDLE pipe) {
  DWORD available = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return true;
  return available > 0;
}

}  // namespace

bool WaitReadable(FileHandle handle, unsigned milliseconds) {
  const HANDLE native = reinterpret_cast<HANDLE>(handle.native());
  if (!handle.valid() || GetFileType(native) != FILE_TYPE_PIPE) return true;
  const ULONGLONG start = GetTickCount64();
  while (!PipeHasDataOrEnded(native)) {
    const ULONGLONG waited = GetTickCount64() - start;
    if (waited >= milliseconds) return false;
    Sleep(waited < kQuietAfterMs ? kPeekStepMs : kQuietPeekStepMs);
  }
  return true;
}

}  // namespace kestrun::platform
