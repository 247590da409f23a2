#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace kestrun::platform {

FileHandle CreateFileForWrite(const std::string& path) {
  if (path.empty()) return FileHandle();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? FileHandle() : FileHandle(fd);
}

bool WriteToFile(FileHandle handle, const char* bytes, std::size_t count) {
  if (!handle.valid()) return false;
  const int fd = static_cast<int>(handle.native());
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

bool FinishWrittenFile(FileHandle& handle) {
  if (!handle.valid()) return false;
  const int fd = static_cast<int>(handle.native());
  handle = FileHandle();
  // The contents must be on disk before a rename can put them in place.
  const bool flushed = ::fsync(fd) == 0;
  return ::close(fd) == 0 && flushed;
}

}  // namespace kestrun::platform
