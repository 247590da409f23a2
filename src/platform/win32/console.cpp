// The console shows the CP932 bytes through its code page; they are written
// unchanged and unbuffered. The caller serialises the calls.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace kestrun::platform {

void ConsoleWrite(const char* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return;
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  while (count > 0) {
    const DWORD chunk = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(output, bytes, chunk, &written, nullptr) || written == 0) return;
    bytes += written;
    count -= written;
  }
}

// Nothing of ours is buffered; the C runtime may hold text of others.
void ConsoleFlush() { std::fflush(stdout); }

// A console program normally has its console already; the result is of no
// consequence.
void AllocConsoleIfNeeded() { AllocConsole(); }

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace kestrun::platform
