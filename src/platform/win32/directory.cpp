#include <windows.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

DirEntry DescribeEntry(const WIN32_FIND_DATAA& found) {
  DirEntry entry;
  entry.name = found.cFileName;
  entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.lastWriteTime = Join(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
  entry.size = Join(found.nFileSizeHigh, found.nFileSizeLow);
  return entry;
}

}  // namespace

std::vector<DirEntry> FindEntries(const std::string& folder, const std::string& pattern) {
  std::vector<DirEntry> entries;
  if (pattern.empty()) return entries;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    entries.push_back(DescribeEntry(found));
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return entries;
}

}  // namespace kestrun::platform
