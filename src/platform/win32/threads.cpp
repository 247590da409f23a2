#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

struct ThreadStart {
  void (*routine)(void*);
  void* argument;
};

DWORD WINAPI RunThread(LPVOID start) {
  const ThreadStart copy = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  copy.routine(copy.argument);
  return 0;
}

}  // namespace

int StartDetachedThread(void (*routine)(void*), void* argument) {
  auto* start = new (std::nothrow) ThreadStart{routine, argument};
  if (start == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  const HANDLE thread = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  if (thread == nullptr) {
    const DWORD error = GetLastError();
    delete start;
    return static_cast<int>(error);
  }
  CloseHandle(thread);
  return 0;
}

}  // namespace kestrun::platform
