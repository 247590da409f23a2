// A pipe source is a FIFO or a listening Unix-domain stream socket made by
// the writer. "\\.\pipe\NAME" names the endpoint NAME in the temporary folder.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

constexpr char kPipePrefix[] = "\\\\.\\pipe\\";
constexpr std::size_t kPipePrefixLength = sizeof(kPipePrefix) - 1;
// One attempt waits at most this long for a writer; the caller sleeps and
// retries in steps of about a third of a second.
constexpr int kWriterWaitMs = 250;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasPipePrefix(const std::string& source) {
  if (source.size() < kPipePrefixLength) return false;
  for (std::size_t i = 0; i < kPipePrefixLength; ++i) {
    if (Lower(source[i]) != kPipePrefix[i]) return false;
  }
  return true;
}

std::string EndpointPath(const std::string& source) {
  if (!HasPipePrefix(source)) return source;
  const std::string name = source.substr(kPipePrefixLength);
  return name.empty() ? std::string() : TempFolder() + name;
}

// A FIFO reader stays open between attempts once it is open. A writer that
// has opened its end but not yet written is connected to this reader; closing
// it would leave that writer with a broken pipe.
struct PendingReader {
  std::string path;
  int fd = -1;
};

std::mutex& PendingMutex() {
  static std::mutex mutex;
  return mutex;
}

PendingReader& Pending() {
  static PendingReader reader;
  return reader;
}

void DropPending(PendingReader& pending) {
  if (pending.fd >= 0) ::close(pending.fd);
  pending = PendingReader();
}

bool SameFile(int fd, const struct stat& named) {
  struct stat open {};
  return ::fstat(fd, &open) == 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// True once a writer has connected: data wait, or it has come and gone.
// A FIFO without any writer so far reports neither.
bool WriterConnected(int fd) {
  pollfd entry{};
  entry.fd = fd;
  entry.events = POLLIN;
  const int ready = ::poll(&entry, 1, kWriterWaitMs);
  return ready > 0 && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

FileHandle OpenFifo(const std::string& path, const struct stat& named) {
  std::lock_guard lock(PendingMutex());
  PendingReader& pending = Pending();
  if (pending.fd >= 0 && (pending.path != path || !SameFile(pending.fd, named))) DropPending(pending);
  if (pending.fd < 0) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return FileHandle();
    pending.path = path;
    pending.fd = fd;
  }
  if (!WriterConnected(pending.fd)) return FileHandle();
  const int fd = pending.fd;
  pending = PendingReader();
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
    ::close(fd);
    return FileHandle();
  }
  return FileHandle(fd);
}

FileHandle ConnectSocket(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof(address.sun_path)) return FileHandle();
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return FileHandle();
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(fd);
    return FileHandle();
  }
  return FileHandle(fd);
}

}  // namespace

FileHandle OpenPipeOnce(const std::string& source) {
  const std::string path = EndpointPath(source);
  struct stat named {};
  if (path.empty() || ::stat(path.c_str(), &named) != 0) return FileHandle();
  if (S_ISFIFO(named.st_mode)) return OpenFifo(path, named);
  if (S_ISSOCK(named.st_mode)) return ConnectSocket(path);
  return FileHandle();
}

}  // namespace kestrun::platform
