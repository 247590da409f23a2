// The system calls the control routine on a thread of its own.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

std::atomic<ConsoleHandler> currentHandler{nullptr};

ConsoleEvent EventOf(DWORD type) {
  if (type == CTRL_C_EVENT) return ConsoleEvent::CtrlC;
  if (type == CTRL_CLOSE_EVENT) return ConsoleEvent::Close;
  return ConsoleEvent::Other;
}

BOOL WINAPI OnConsoleEvent(DWORD type) {
  const ConsoleHandler handler = currentHandler.load();
  return handler != nullptr && handler(EventOf(type)) ? TRUE : FALSE;
}

}  // namespace

bool InstallConsoleControlHandler(ConsoleHandler handler) {
  static std::mutex mutex;
  static bool installed = false;
  std::lock_guard lock(mutex);
  currentHandler.store(handler);
  if (!installed) installed = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != FALSE;
  return installed;
}

}  // namespace kestrun::platform
