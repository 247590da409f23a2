#include "platform/win32/handles.h"

namespace kestrun::platform {

FileHandle OpenFileForRead(const std::string& path) {
  // Shared for writing too, so a recording that is still being written opens.
  // Sources are read from start to end: the cache manager reads ahead for it.
  return WrapHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
}

bool IsRegularFile(FileHandle handle) {
  return handle.valid() && GetFileType(NativeHandle(handle)) == FILE_TYPE_DISK;
}

// The advice was given with FILE_FLAG_SEQUENTIAL_SCAN at the open.
void AdviseSequentialRead(FileHandle) {}

FileHandle OpenStdIn() { return WrapHandle(GetStdHandle(STD_INPUT_HANDLE)); }

ReadResult ReadFile(FileHandle handle, void* destination, std::uint32_t room) {
  ReadResult result;
  if (!handle.valid() || destination == nullptr) return result;
  DWORD got = 0;
  // A writer that has gone away (ERROR_BROKEN_PIPE) fails like any error.
  result.ok = ::ReadFile(NativeHandle(handle), destination, room, &got, nullptr) != FALSE;
  result.count = result.ok ? got : 0;
  return result;
}

void CloseFile(FileHandle& handle) {
  if (!handle.valid()) return;
  const HANDLE native = NativeHandle(handle);
  // Standard input, once closed, must not be found again under a handle
  // value that the system may hand out anew.
  if (native == GetStdHandle(STD_INPUT_HANDLE)) SetStdHandle(STD_INPUT_HANDLE, nullptr);
  CloseHandle(native);
  handle = FileHandle();
}

std::int64_t FileSizeOf(FileHandle handle) {
  if (!handle.valid()) return 0;
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(NativeHandle(handle), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  const auto size = static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
  return size < 0 ? 0 : size;
}

std::int64_t SeekFile(FileHandle handle, std::int64_t distance, SeekOrigin origin) {
  if (!handle.valid()) return -1;
  DWORD method = FILE_BEGIN;
  if (origin == SeekOrigin::Current) method = FILE_CURRENT;
  if (origin == SeekOrigin::End) method = FILE_END;
  const auto bits = static_cast<std::uint64_t>(distance);
  LONG high = static_cast<LONG>(static_cast<std::uint32_t>(bits >> 32));
  const LONG low = static_cast<LONG>(static_cast<std::uint32_t>(bits));
  // A low part of 0xFFFFFFFF is also a valid position: only the error code
  // tells a failure, so it is cleared first.
  SetLastError(NO_ERROR);
  const DWORD newLow = SetFilePointer(NativeHandle(handle), low, &high, method);
  if (newLow == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | newLow);
}

}  // namespace kestrun::platform
