// Views are mmap'ed read-only and shared. The guard is a SIGBUS handler that
// jumps back to RunGuardingViews when the faulting address lies in the
// calling thread's guarded view; anything else is handed to the action that
// was in place before, which the retried access then meets.
#include "platform/file_view.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csetjmp>
#include <csignal>

namespace kestrun::platform {
namespace {

struct ViewGuard {
  sigjmp_buf* jump = nullptr;  // while RunGuardingViews runs its body
  const std::uint8_t* begin = nullptr;
  const std::uint8_t* end = nullptr;
  const std::uint8_t* fault = nullptr;
};

// Trivial, so the handler finds it without any lazy set-up.
thread_local ViewGuard tGuard;

struct sigaction gEarlierBusAction;
pthread_once_t gBusHandlerOnce = PTHREAD_ONCE_INIT;

void OnBusError(int signal, siginfo_t* info, void*) {
  ViewGuard& guard = tGuard;
  const auto* address = static_cast<const std::uint8_t*>(info->si_addr);
  if (info->si_code > 0 && guard.jump != nullptr && address >= guard.begin && address < guard.end) {
    guard.fault = address;
    siglongjmp(*guard.jump, 1);
  }
  // A fault returns to the access, which faults again under the earlier
  // action; a signal that was sent is sent again.
  sigaction(signal, &gEarlierBusAction, nullptr);
  if (info->si_code <= 0) raise(signal);
}

void InstallBusHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &gEarlierBusAction);
}

}  // namespace

std::uint32_t ViewAlignment() {
  static const auto page = static_cast<std::uint32_t>(::sysconf(_SC_PAGESIZE));
  return page;
}

FileView MapFileView(FileHandle handle, std::uint64_t offset, std::size_t length) {
  if (!handle.valid() || length == 0) return {};
  void* base = ::mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, static_cast<int>(handle.native()),
                      static_cast<off_t>(offset));
  if (base == MAP_FAILED) return {};
  ::madvise(base, length, MADV_SEQUENTIAL);
  return {static_cast<const std::uint8_t*>(base), length};
}

void UnmapFileView(FileView& view) {
  if (view.data != nullptr) ::munmap(const_cast<std::uint8_t*>(view.data), view.size);
  view = {};
}

void GuardView(const FileView& view) {
  tGuard.begin = view.data;
  tGuard.end = view.data == nullptr ? nullptr : view.data + view.size;
}

GuardedRun RunGuardingViews(void (*body)(void*), void* argument) {
  pthread_once(&gBusHandlerOnce, InstallBusHandler);
  ViewGuard& guard = tGuard;
  sigjmp_buf jump;
  if (sigsetjmp(jump, 1) != 0) {
    guard.jump = nullptr;
    return {true, guard.fault};
  }
  guard.jump = &jump;
  body(argument);
  guard.jump = nullptr;
  return {};
}

}  // namespace kestrun::platform
