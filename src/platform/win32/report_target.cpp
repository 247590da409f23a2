#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/write_whole.h"

namespace kestrun::platform {
namespace {

constexpr char kPipePrefix[] = "\\\\.\\pipe\\";
// GetFinalPathNameByHandleA answers with the long-path form.
constexpr char kLongPathPrefix[] = "\\\\?\\";
constexpr char kLongUncPrefix[] = "\\\\?\\UNC\\";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The path the name finally leads to, with the long-path prefix taken off;
// empty when it cannot be told.
std::string FinalPath(HANDLE file) {
  std::string path(MAX_PATH, '\0');
  DWORD length = GetFinalPathNameByHandleA(file, path.data(), static_cast<DWORD>(path.size()), 0);
  if (length >= path.size()) {
    path.resize(length + 1);
    length = GetFinalPathNameByHandleA(file, path.data(), static_cast<DWORD>(path.size()), 0);
  }
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  if (StartsWith(path, kLongUncPrefix)) return "\\\\" + path.substr(sizeof kLongUncPrefix - 1);
  if (StartsWith(path, kLongPathPrefix)) return path.substr(sizeof kLongPathPrefix - 1);
  return path;
}

}  // namespace

ReportTarget ResolveReportTarget(const std::string& path) {
  // Opening a pipe would take one of its instances; it is written in place.
  if (StartsWith(path, kPipePrefix)) return {ReportTarget::Kind::InPlace, path};
  const HANDLE file =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {ReportTarget::Kind::Replace, path};
  ReportTarget target{ReportTarget::Kind::Replace, path};
  if (GetFileType(file) != FILE_TYPE_DISK) {
    target.kind = ReportTarget::Kind::InPlace;
  } else if ((GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    const std::string final = FinalPath(file);
    if (!final.empty()) target.path = final;
  }
  CloseHandle(file);
  return target;
}

bool WriteInPlace(const std::string& path, const char* bytes, std::size_t count) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool whole = WriteWhole(file, bytes, count);
  return CloseHandle(file) != 0 && whole;
}

}  // namespace kestrun::platform
