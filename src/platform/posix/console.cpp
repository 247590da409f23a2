// Standard output is written with write(2), unbuffered; the caller
// serialises the calls.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/cp932_display.h"

namespace kestrun::platform {
namespace {

void WriteAll(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
}

// Only a terminal is shown converted text; files and pipes keep the bytes.
// Standard output stays what it was at the first write, so it is asked once.
bool ShowsUtf8() {
  static const bool shows =
      LocaleCharsetIsUtf8(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG")) &&
      ::isatty(STDOUT_FILENO) == 1;
  return shows;
}

}  // namespace

void ConsoleWrite(const char* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return;
  if (ShowsUtf8()) {
    const std::string shown = ConvertCp932ToUtf8(std::string_view(bytes, count));
    WriteAll(STDOUT_FILENO, shown.data(), shown.size());
  } else {
    WriteAll(STDOUT_FILENO, bytes, count);
  }
}

// Nothing of ours is buffered; stdio may hold text of others.
void ConsoleFlush() { std::fflush(stdout); }

void AllocConsoleIfNeeded() {}

void PumpMessages() {}

}  // namespace kestrun::platform
