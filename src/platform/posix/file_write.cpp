#include <fcntl.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/write_whole.h"

namespace kestrun::platform {

FileHandle CreateFileForWrite(const std::string& path) {
  if (path.empty()) return FileHandle();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? FileHandle() : FileHandle(fd);
}

bool WriteToFile(FileHandle handle, const char* bytes, std::size_t count) {
  return handle.valid() && WriteWhole(static_cast<int>(handle.native()), bytes, count);
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
