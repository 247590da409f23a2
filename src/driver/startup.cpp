#include "driver/startup.h"

#include "output/console.h"
#include "output/message.h"
#include "support/catalog.h"
#include "support/find_files.h"
#include "support/run_flags.h"

namespace kestrun {
namespace {

constexpr unsigned kHousekeepingSliceMs = 100;

// Keeps the main thread's message queue drained until a stop is requested.
void HousekeepingThread(void* startedEvent) {
  static_cast<platform::Event*>(startedEvent)->Set();
  while (AbortFlag.load(std::memory_order_relaxed) == 0) {
    platform::PumpMessages();
    platform::SleepMs(kHousekeepingSliceMs);
  }
}

void StartHousekeeping() {
  if (AbortFlag.load(std::memory_order_relaxed) != 0) return;
  std::unique_ptr<platform::Event> started = platform::CreateManualResetEvent("", false);
  if (!started) return;
  const int error = platform::StartDetachedThread(HousekeepingThread, started.get());
  if (error != 0) {
    WriteMessage(text::kMsgMainThreadFailed, error);
    return;
  }
  started->Wait();
}

void Notice(const char* message) {
  const std::uint32_t flags = ConsoleFlags.load(std::memory_order_relaxed);
  if ((flags & kConsoleOn) == 0 || (flags & kConsoleNoProgress) != 0) return;
  ConsoleText(message);
  ConsoleFlush();
  LineStartFlag.store(true, std::memory_order_relaxed);
}

}  // namespace

void InitApplication(ProgramContext& program) {
  program.tempFolder = platform::TempFolder();
  program.programBaseName = platform::SplitPath(platform::ExecutablePath()).name;
  StartHousekeeping();
}

// The notice is printed before the stop is requested: once the flags are set
// main may finish the run and exit, and the notice must not still be on its
// way to the console then.
bool ConsoleControlHandler(platform::ConsoleEvent event) {
  switch (event) {
    case platform::ConsoleEvent::CtrlC:
      Notice(text::kMsgCtrlC);
      ConsoleEventCode.store(1, std::memory_order_relaxed);
      AbortFlag.store(1, std::memory_order_relaxed);
      return true;
    case platform::ConsoleEvent::Close:
      Notice(text::kMsgConsoleClosed);
      ConsoleEventCode.store(2, std::memory_order_relaxed);
      AbortFlag.store(1, std::memory_order_relaxed);
      return true;
    default:
      return false;
  }
}

void ExitCleanup(const ProgramContext& program) {
  AbortFlag.store(1, std::memory_order_relaxed);
  DeleteTempLeftovers(program.tempFolder);
}

}  // namespace kestrun
