// Console text is written with write(2), unbuffered; the caller serialises
// the calls. It follows the locale whatever the output is: under a UTF-8
// charset it is the UTF-8 form with LF line ends, terminal, file or pipe
// alike; in other locales it is the CP932 bytes as they are.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/cp932_display.h"
#include "platform/posix/write_whole.h"

namespace kestrun::platform {
namespace {

// Standard output, or standard error once standard output carries a report.
std::atomic<int> consoleFd{STDOUT_FILENO};

// The locale is the process's own for its whole life, so it is asked once.
bool LocaleIsUtf8() {
  static const bool utf8 =
      LocaleCharsetIsUtf8(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
  return utf8;
}

// CR LF becomes LF; a lone CR (the end of a progress line) stays.
std::string WithLfLineEnds(std::string text) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    text[kept++] = text[i];
  }
  text.resize(kept);
  return text;
}

void WriteShown(int fd, const char* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return;
  if (LocaleIsUtf8()) {
    const std::string shown = WithLfLineEnds(ConvertCp932ToUtf8(std::string_view(bytes, count)));
    WriteWhole(fd, shown.data(), shown.size());
  } else {
    WriteWhole(fd, bytes, count);
  }
}

bool SameFile(int a, int b) {
  struct stat first {}, second {};
  return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace

void ConsoleWrite(const char* bytes, std::size_t count) {
  WriteShown(consoleFd.load(std::memory_order_relaxed), bytes, count);
}

void ErrorWrite(const char* bytes, std::size_t count) { WriteShown(STDERR_FILENO, bytes, count); }

bool WriteStandardOutput(const char* bytes, std::size_t count) {
  return WriteWhole(STDOUT_FILENO, bytes, count);
}

void MoveConsoleToStandardError() { consoleFd.store(STDERR_FILENO, std::memory_order_relaxed); }

bool ConsoleShowsProgress() { return ::isatty(consoleFd.load(std::memory_order_relaxed)) == 1; }

bool NoticesUseStandardError() { return true; }

bool ErrorIsApartFromConsole() {
  const int console = consoleFd.load(std::memory_order_relaxed);
  return console != STDERR_FILENO && !SameFile(console, STDERR_FILENO);
}

// Nothing of ours is buffered; stdio may hold text of others.
void ConsoleFlush() { std::fflush(stdout); }

void AllocConsoleIfNeeded() {}

void PumpMessages() {}

}  // namespace kestrun::platform
