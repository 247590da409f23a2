#include <windows.h>

#include <ctime>

#include "platform/platform.h"

namespace kestrun::platform {

// Console events come through SetConsoleCtrlHandler; nothing to prepare.
void InitPlatform() {}

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

void SleepMs(unsigned milliseconds) { Sleep(milliseconds); }

std::int64_t CalendarSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::uint64_t ThreadCpuTicks() {
  ULONG64 cycles = 0;
  if (QueryThreadCycleTime(GetCurrentThread(), &cycles)) return cycles;
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  return static_cast<std::uint64_t>(ticks.QuadPart);
}

int LastErrorCode() { return static_cast<int>(GetLastError()); }

// The exit code is 32-bit: the total as it is.
int ExitStatusFor(std::int32_t total) { return total; }

}  // namespace kestrun::platform
