#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

// Seconds from 1601-01-01 to 1970-01-01, the origin of FILETIME-style stamps.
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000;

std::uint64_t TicksSince1601(const struct timespec& moment) {
  const std::int64_t seconds = static_cast<std::int64_t>(moment.tv_sec) + kSecondsFrom1601To1970;
  if (seconds < 0) return 0;
  return static_cast<std::uint64_t>(seconds) * kTicksPerSecond + static_cast<std::uint64_t>(moment.tv_nsec / 100);
}

DirEntry DescribeEntry(int folderFd, const dirent& found) {
  DirEntry entry;
  entry.name = found.d_name;
  struct stat status {};
  // A dangling link is described by the link itself.
  if (::fstatat(folderFd, found.d_name, &status, 0) != 0 &&
      ::fstatat(folderFd, found.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    entry.isDirectory = found.d_type == DT_DIR;
    return entry;
  }
  entry.isDirectory = S_ISDIR(status.st_mode);
  entry.lastWriteTime = TicksSince1601(status.st_mtim);
  entry.size = entry.isDirectory || status.st_size < 0 ? 0 : static_cast<std::uint64_t>(status.st_size);
  return entry;
}

}  // namespace

std::vector<DirEntry> FindEntries(const std::string& folder, const std::string& pattern) {
  std::vector<DirEntry> entries;
  if (pattern.empty()) return entries;
  // An empty folder is what is left of "/" without its trailing separator.
  DIR* listing = ::opendir(folder.empty() ? "/" : folder.c_str());
  if (listing == nullptr) return entries;
  const int folderFd = ::dirfd(listing);
  while (const dirent* found = ::readdir(listing)) {
    // Without FNM_PERIOD a leading '.' is an ordinary character, as in the
    // Windows search.
    if (::fnmatch(pattern.c_str(), found->d_name, 0) != 0) continue;
    entries.push_back(DescribeEntry(folderFd, *found));
  }
  ::closedir(listing);
  return entries;
}

}  // namespace kestrun::platform
