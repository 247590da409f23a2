#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/platform.h"

namespace kestrun::platform {

bool WriteNewFile(const std::string& path, const char* bytes, std::size_t count) {
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool whole = true;
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      whole = false;
      break;
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  // The contents must be on disk before a rename can put them in place.
  if (whole && ::fsync(fd) != 0) whole = false;
  return ::close(fd) == 0 && whole;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  return !from.empty() && !to.empty() && std::rename(from.c_str(), to.c_str()) == 0;
}

std::string TextToUtf8(std::string_view text) { return std::string(text); }

}  // namespace kestrun::platform
