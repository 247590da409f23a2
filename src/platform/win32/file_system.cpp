#include "platform/win32/handles.h"

namespace kestrun::platform {
namespace {

DWORD AttributesOf(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
}

}  // namespace

bool PathExists(const std::string& path) { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Pipes are named "\\.\pipe\NAME" here; no file path is a pipe.
bool IsFifoPath(const std::string& /*path*/) { return false; }

bool RemoveFile(const std::string& path) { return !path.empty() && DeleteFileA(path.c_str()) != FALSE; }

bool AppendToFile(const std::string& path, const char* bytes, std::size_t count, bool append,
                  bool* written) {
  if (written != nullptr) *written = false;
  if (path.empty() || bytes == nullptr || count == 0) return false;
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    SetFilePointer(file, 0, nullptr, FILE_END);
    const DWORD length = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    DWORD done = 0;
    const BOOL ok = WriteFile(file, bytes, length, &done, nullptr);
    CloseHandle(file);
    if (written != nullptr) *written = ok != FALSE && done == count;
  }
  return PathExists(path);
}

bool IsOwnFile(const std::string& /*path*/) { return true; }

}  // namespace kestrun::platform
