#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#include "platform/platform.h"

namespace kestrun::platform {

void InitPlatform() {
  // The console control thread takes these with sigwait; blocked here, every
  // later thread inherits the mask. SIGQUIT keeps its default action.
  sigset_t control;
  sigemptyset(&control);
  sigaddset(&control, SIGINT);
  sigaddset(&control, SIGHUP);
  sigaddset(&control, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &control, nullptr);
  // A pipe writer that goes away shows as a failed write, not a dead process.
  std::signal(SIGPIPE, SIG_IGN);
}

int ProcessId() { return static_cast<int>(::getpid()); }

void SleepMs(unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

std::int64_t CalendarSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::uint64_t ThreadCpuTicks() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
}

int LastErrorCode() { return errno; }

// Exit statuses are 8-bit: a total that would wrap (256 is 0) or overflowed
// to a negative value reports 255, so a run with drops never exits 0.
int ExitStatusFor(std::int32_t total) {
  if (total == 0) return 0;
  if (total < 0 || total > 255) return 255;
  return total;
}

}  // namespace kestrun::platform
