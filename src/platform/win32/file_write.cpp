#include <windows.h>

#include "platform/win32/handles.h"
#include "platform/win32/write_whole.h"

namespace kestrun::platform {

FileHandle CreateFileForWrite(const std::string& path) {
  if (path.empty()) return FileHandle();
  return WrapHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteToFile(FileHandle handle, const char* bytes, std::size_t count) {
  return handle.valid() && WriteWhole(NativeHandle(handle), bytes, count);
}

bool FinishWrittenFile(FileHandle& handle) {
  if (!handle.valid()) return false;
  const HANDLE file = NativeHandle(handle);
  handle = FileHandle();
  // The contents must be on disk before a move can put them in place.
  const bool flushed = FlushFileBuffers(file) != 0;
  return CloseHandle(file) != 0 && flushed;
}

}  // namespace kestrun::platform
