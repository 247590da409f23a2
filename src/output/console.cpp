#include "output/console.h"

#include <cstdarg>
#include <mutex>
#include <new>

#include "platform/platform.h"

namespace kestrun {
namespace {

class StandardOutput final : public ByteSink {
 public:
  void Write(const char* bytes, std::size_t count) override { platform::ConsoleWrite(bytes, count); }
  void Flush() override { platform::ConsoleFlush(); }
};

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

StandardOutput& DefaultSink() {
  static StandardOutput sink;
  return sink;
}

ByteSink* currentSink = nullptr;
std::string held;  // ConsoleTextHeld text not yet written; under SinkMutex

ByteSink& Sink() { return currentSink != nullptr ? *currentSink : DefaultSink(); }

// With SinkMutex held.
void WriteHeld() {
  if (held.empty()) return;
  Sink().Write(held.data(), held.size());
  held.clear();
}

}  // namespace

void SetConsoleSink(ByteSink* sink) {
  std::lock_guard lock(SinkMutex());
  WriteHeld();
  currentSink = sink;
}

void ConsoleText(std::string_view text) {
  if (text.empty()) return;
  std::lock_guard lock(SinkMutex());
  // Text behind held lines goes out with them in one write where the held
  // room takes it (appending within the capacity allocates nothing).
  if (!held.empty() && text.size() <= held.capacity() - held.size()) {
    held.append(text);
    WriteHeld();
    return;
  }
  WriteHeld();
  Sink().Write(text.data(), text.size());
}

void ConsoleTextHeld(std::string_view text) {
  if (text.empty()) return;
  std::lock_guard lock(SinkMutex());
  try {
    if (held.capacity() < kConsoleHoldLimit) held.reserve(kConsoleHoldLimit);
    held.append(text);
  } catch (const std::bad_alloc&) {
    // Without room to hold it, the text goes out at once.
    WriteHeld();
    Sink().Write(text.data(), text.size());
    return;
  }
  if (held.size() >= kConsoleHoldLimit) WriteHeld();
}

void ConsolePrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatTextV(format, args);
  va_end(args);
  ConsoleText(text);
}

// Console text that waits goes out first, so that the notice follows it on
// a terminal that shows both.
void CommandLineNotice(std::string_view text) {
  if (!platform::NoticesUseStandardError()) {
    ConsoleText(text);
    return;
  }
  std::lock_guard lock(SinkMutex());
  WriteHeld();
  platform::ErrorWrite(text.data(), text.size());
}

void RunNotice(std::string_view text) {
  ConsoleText(text);
  if (platform::NoticesUseStandardError() && platform::ErrorIsApartFromConsole()) {
    std::lock_guard lock(SinkMutex());
    platform::ErrorWrite(text.data(), text.size());
  }
}

void ConsoleFlush() {
  std::lock_guard lock(SinkMutex());
  WriteHeld();
  Sink().Flush();
}

}  // namespace kestrun
