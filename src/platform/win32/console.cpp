// The console shows the CP932 bytes through its code page; they are written
// unchanged and unbuffered. The caller serialises the calls.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/platform.h"
#include "platform/win32/write_whole.h"

namespace kestrun::platform {
namespace {

// Standard output, or standard error once standard output carries a report.
std::atomic<DWORD> consoleHandle{STD_OUTPUT_HANDLE};

bool WriteAll(DWORD standardHandle, const char* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return true;
  const HANDLE output = GetStdHandle(standardHandle);
  return output != nullptr && output != INVALID_HANDLE_VALUE && WriteWhole(output, bytes, count);
}

}  // namespace

void ConsoleWrite(const char* bytes, std::size_t count) {
  WriteAll(consoleHandle.load(std::memory_order_relaxed), bytes, count);
}

void ErrorWrite(const char* bytes, std::size_t count) { WriteAll(STD_ERROR_HANDLE, bytes, count); }

bool WriteStandardOutput(const char* bytes, std::size_t count) {
  return WriteAll(STD_OUTPUT_HANDLE, bytes, count);
}

void MoveConsoleToStandardError() { consoleHandle.store(STD_ERROR_HANDLE, std::memory_order_relaxed); }

// The progress line is shown wherever the console goes.
bool ConsoleShowsProgress() { return true; }

// Notices stay on the console, where the program has always shown them.
bool NoticesUseStandardError() { return false; }

bool ErrorIsApartFromConsole() { return false; }

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
