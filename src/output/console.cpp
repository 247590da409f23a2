#include "output/console.h"

#include <cstdarg>
#include <mutex>

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

ByteSink& Sink() { return currentSink != nullptr ? *currentSink : DefaultSink(); }

}  // namespace

void SetConsoleSink(ByteSink* sink) {
  std::lock_guard lock(SinkMutex());
  currentSink = sink;
}

void ConsoleText(std::string_view text) {
  if (text.empty()) return;
  std::lock_guard lock(SinkMutex());
  Sink().Write(text.data(), text.size());
}

void ConsolePrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatTextV(format, args);
  va_end(args);
  ConsoleText(text);
}

void ConsoleFlush() {
  std::lock_guard lock(SinkMutex());
  Sink().Flush();
}

}  // namespace kestrun
