#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/write_whole.h"

namespace kestrun::platform {
namespace {

bool StatPath(const std::string& path, struct stat* status) {
  return !path.empty() && ::stat(path.c_str(), status) == 0;
}

}  // namespace

bool PathExists(const std::string& path) {
  struct stat status {};
  return StatPath(path, &status);
}

bool IsDirectory(const std::string& path) {
  struct stat status {};
  return StatPath(path, &status) && S_ISDIR(status.st_mode);
}

bool IsFifoPath(const std::string& path) {
  struct stat status {};
  return StatPath(path, &status) && S_ISFIFO(status.st_mode);
}

bool RemoveFile(const std::string& path) { return !path.empty() && ::unlink(path.c_str()) == 0; }

bool AppendToFile(const std::string& path, const char* bytes, std::size_t count, bool append,
                  bool* written) {
  if (written != nullptr) *written = false;
  if (path.empty() || bytes == nullptr || count == 0) return false;
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (append ? 0 : O_TRUNC);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd >= 0) {
    // A write to a regular file is whole unless interrupted or out of room.
    const bool whole = ::lseek(fd, 0, SEEK_END) >= 0 && WriteWhole(fd, bytes, count);
    ::close(fd);
    if (written != nullptr) *written = whole;
  }
  return PathExists(path);
}

bool IsOwnFile(const std::string& path) {
  struct stat status {};
  return !path.empty() && ::lstat(path.c_str(), &status) == 0 && status.st_uid == ::geteuid();
}

}  // namespace kestrun::platform
