#include <cstdlib>
#include <unistd.h>

#include "platform/file_name_parts.h"
#include "platform/platform.h"

namespace kestrun::platform {

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  parts.folder = path.substr(0, nameStart);
  SplitFileName(path.substr(nameStart), parts);
  return parts;
}

char PathSeparator() { return '/'; }

// '/' starts an absolute path here, never an option.
bool IsOptionPrefix(char c) { return c == '-'; }

std::string TempFolder() {
  const char* configured = std::getenv("TMPDIR");
  std::string folder = (configured != nullptr && IsDirectory(configured)) ? configured : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string ExecutablePath() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return std::string();
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace kestrun::platform
