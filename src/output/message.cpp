#include "output/message.h"

#include <cstdarg>
#include <mutex>

#include "output/console.h"
#include "platform/platform.h"
#include "support/catalog.h"
#include "support/run_flags.h"

namespace kestrun {
namespace {

// One lock serialises log appends and guards the log target, so messages of
// the worker and the tuner thread printed at the same moment both reach the
// file.
std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string logTarget;
std::uint32_t logFlags = 0;
bool logFailureShown = false;  // this job has said its log cannot be written

// With LogMutex held.
void Append(const char* bytes, std::size_t count) {
  bool written = false;
  platform::AppendToFile(logTarget, bytes, count, true, &written);
  if (written || logFailureShown) return;
  logFailureShown = true;
  RunNotice(FormatText(text::kMsgLogNotWritable, platform::PathForMessage(logTarget).c_str()));
}

}  // namespace

void BeginJobLog() {
  std::lock_guard lock(LogMutex());
  logFailureShown = false;
}

void SetLogTarget(const std::string& path, std::uint32_t flags) {
  std::lock_guard lock(LogMutex());
  logTarget = path;
  logFlags = flags;
}

std::string LogTarget() {
  std::lock_guard lock(LogMutex());
  return logTarget;
}

std::uint32_t LogFlags() {
  std::lock_guard lock(LogMutex());
  return logFlags;
}

void WriteLog(const std::string& text) {
  std::lock_guard lock(LogMutex());
  if (text.empty() || logTarget.empty()) return;
  Append(text.data(), text.size());
  if (text.back() != '\n') Append("\r\n", 2);
}

void WriteMessageText(const std::string& text) {
  if (text.empty()) return;
  if (ConsoleFlags.load(std::memory_order_relaxed) != 0) ConsoleText(text);
  if ((LogFlags() & kLogAppend) != 0) WriteLog(text);
}

void WriteMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatTextV(format, args);
  va_end(args);
  WriteMessageText(text);
}

}  // namespace kestrun
