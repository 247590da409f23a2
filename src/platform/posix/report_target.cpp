#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


#include "platform/platform.h"
#include "platform/posix/write_whole.h"

namespace kestrun::platform {
namespace {

// As many links in a row as the system itself follows before it gives up.
constexpr int kLinkLimit = 40;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::optional<std::string> LinkText(const std::string& path) {
  std::string text(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < text.size()) {
      text.resize(static_cast<std::size_t>(length));
      return text;
    }
    text.resize(text.size() * 2);
  }
}

bool IsLink(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

// The file a chain of links finally names (which need not exist); a
// relative link text counts from the folder of the link. Null for a chain
// that does not end.
std::optional<std::string> FinalTarget(std::string path) {
  for (int hop = 0; hop < kLinkLimit; ++hop) {
    if (!IsLink(path)) return path;
    const std::optional<std::string> text = LinkText(path);
    if (!text) return path;
    path = text->front() == '/' ? *text : FolderOf(path) + *text;
  }
  return std::nullopt;
}

}  // namespace

ReportTarget ResolveReportTarget(const std::string& path) {
  struct stat status {};
  // Following links: a FIFO, a device or a socket is written where it is.
  if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
    return {ReportTarget::Kind::InPlace, path};
  }
  const std::optional<std::string> target = FinalTarget(path);
  if (!target) return {ReportTarget::Kind::Unusable, path};
  return {ReportTarget::Kind::Replace, *target};
}

bool WriteInPlace(const std::string& path, const char* bytes, std::size_t count) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  // Opened without waiting for a reader; a reader that is there is then
  // given every byte, however slowly it takes them.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const bool whole = WriteWhole(fd, bytes, count);
  return ::close(fd) == 0 && whole;
}

}  // namespace kestrun::platform
