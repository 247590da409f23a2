#include "platform/posix/write_whole.h"

#include <unistd.h>

#include <cerrno>

namespace kestrun::platform {

bool WriteWhole(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace kestrun::platform
