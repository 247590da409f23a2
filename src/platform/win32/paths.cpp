#include <windows.h>

#include "platform/file_name_parts.h"
#include "platform/platform.h"

namespace kestrun::platform {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The end of the folder part (just behind the last separator). The second
// byte of a double-byte character of the ANSI code page may be 0x5C ('\\')
// and is never taken for a separator.
std::size_t FolderEnd(const std::string& path, std::size_t start) {
  std::size_t end = start;
  for (std::size_t i = start; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (IsSeparator(path[i])) end = i + 1;
  }
  return end;
}

}  // namespace

std::string PathForMessage(std::string_view path) { return std::string(path); }

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  std::size_t start = 0;
  if (path.size() >= 2 && path[1] == ':' && !IsDBCSLeadByte(static_cast<BYTE>(path[0]))) {
    parts.drive = path.substr(0, 2);
    start = 2;
  }
  const std::size_t nameStart = FolderEnd(path, start);
  parts.folder = path.substr(start, nameStart - start);
  SplitFileName(path.substr(nameStart), parts);
  return parts;
}

char PathSeparator() { return '\\'; }

bool IsOptionPrefix(char c) { return c == '-' || c == '/'; }

std::string TempFolder() {
  std::string folder(MAX_PATH + 1, '\0');
  DWORD length = GetTempPathA(static_cast<DWORD>(folder.size()), folder.data());
  if (length >= folder.size()) {
    folder.resize(length + 1);
    length = GetTempPathA(static_cast<DWORD>(folder.size()), folder.data());
  }
  // Without a temporary folder nothing is searched: no separator alone.
  if (length == 0 || length >= folder.size()) return std::string();
  folder.resize(length);
  if (folder.back() != '\\') folder += '\\';
  return folder;
}

std::string ExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::string();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace kestrun::platform
