#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/write_whole.h"

namespace kestrun::platform {

bool WriteNewFile(const std::string& path, const char* bytes, std::size_t count) {
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool whole = WriteWhole(fd, bytes, count);
  // The contents must be on disk before a rename can put them in place.
  if (whole && ::fsync(fd) != 0) whole = false;
  return ::close(fd) == 0 && whole;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  return !from.empty() && !to.empty() && std::rename(from.c_str(), to.c_str()) == 0;
}

std::string TextToUtf8(std::string_view text) { return std::string(text); }

}  // namespace kestrun::platform
