// File handles are file descriptors; offsets are 64-bit (off_t on a 64-bit
// system, or with _FILE_OFFSET_BITS=64).
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

static_assert(sizeof(off_t) >= 8, "file offsets must be 64-bit");

int Descriptor(FileHandle handle) { return static_cast<int>(handle.native()); }

bool ClearNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != -1;
}

// Standard input is never left closed: a later open would be handed
// descriptor 0 and be taken for standard input. It reads as ended instead.
void RetireStandardInput() {
  const int empty = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (empty < 0) {
    ::close(0);
    return;
  }
  if (empty != 0) {
    ::dup2(empty, 0);
    ::close(empty);
  }
}

}  // namespace

FileHandle OpenFileForRead(const std::string& path) {
  // Not blocking in open, so that a FIFO without a writer cannot hang here.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FileHandle();
  struct stat status {};
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode) || !ClearNonBlocking(fd)) {
    const int error = S_ISDIR(status.st_mode) ? EISDIR : errno;
    ::close(fd);
    errno = error;
    return FileHandle();
  }
  return FileHandle(fd);
}

FileHandle OpenStdIn() { return FileHandle(STDIN_FILENO); }

ReadResult ReadFile(FileHandle handle, void* destination, std::uint32_t room) {
  ReadResult result;
  if (!handle.valid() || destination == nullptr) return result;
  for (;;) {
    const ssize_t got = ::read(Descriptor(handle), destination, room);
    if (got >= 0) {
      result.ok = true;
      result.count = static_cast<std::uint32_t>(got);
      return result;
    }
    if (errno != EINTR) return result;
  }
}

void CloseFile(FileHandle& handle) {
  if (!handle.valid()) return;
  if (Descriptor(handle) == STDIN_FILENO) {
    RetireStandardInput();
  } else {
    ::close(Descriptor(handle));
  }
  handle = FileHandle();
}

bool IsRegularFile(FileHandle handle) {
  struct stat status {};
  return handle.valid() && ::fstat(Descriptor(handle), &status) == 0 && S_ISREG(status.st_mode);
}

void AdviseSequentialRead(FileHandle handle) {
  if (handle.valid()) ::posix_fadvise(Descriptor(handle), 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::int64_t FileSizeOf(FileHandle handle) {
  if (!handle.valid()) return 0;
  struct stat status {};
  if (::fstat(Descriptor(handle), &status) != 0) return 0;
  const std::int64_t size = status.st_size;
  return size < 0 ? 0 : size;
}

std::int64_t SeekFile(FileHandle handle, std::int64_t distance, SeekOrigin origin) {
  if (!handle.valid()) return -1;
  int whence = SEEK_SET;
  if (origin == SeekOrigin::Current) whence = SEEK_CUR;
  if (origin == SeekOrigin::End) whence = SEEK_END;
  const off_t position = ::lseek(Descriptor(handle), static_cast<off_t>(distance), whence);
  return position < 0 ? -1 : static_cast<std::int64_t>(position);
}

}  // namespace kestrun::platform
