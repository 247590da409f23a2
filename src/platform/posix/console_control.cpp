// Console events arrive as signals. They are blocked in every thread
// (InitPlatform) and taken by one thread with sigwait, so the handler runs as
// ordinary code and may print.
#include <atomic>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

std::atomic<ConsoleHandler> currentHandler{nullptr};

sigset_t ControlSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGTERM);
  return signals;
}

// An event the handler leaves alone gets the signal's default action, which
// ends the process.
void TakeDefaultAction(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal);
  ::raise(signal);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
}

void WaitForSignals() {
  const sigset_t signals = ControlSignals();
  for (;;) {
    int signal = 0;
    if (::sigwait(&signals, &signal) != 0) continue;
    const ConsoleEvent event = signal == SIGINT ? ConsoleEvent::CtrlC : ConsoleEvent::Close;
    const ConsoleHandler handler = currentHandler.load();
    if (handler != nullptr && handler(event)) continue;
    TakeDefaultAction(signal);
  }
}

}  // namespace

bool InstallConsoleControlHandler(ConsoleHandler handler) {
  static std::mutex mutex;
  static bool waiting = false;
  std::lock_guard lock(mutex);
  currentHandler.store(handler);
  if (waiting) return true;
  // Blocked here as well, should InitPlatform not have run on this thread;
  // the new thread inherits the mask.
  const sigset_t signals = ControlSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  try {
    std::thread(WaitForSignals).detach();
  } catch (const std::system_error&) {
    return false;
  }
  waiting = true;
  return true;
}

}  // namespace kestrun::platform
