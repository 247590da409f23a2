#include <windows.h>

#include "platform/platform.h"

namespace kestrun::platform {

bool WaitReadable(FileHandle handle, unsigned milliseconds) {
  const HANDLE native = reinterpret_cast<HANDLE>(handle.native());
  if (!handle.valid() || GetFileType(native) != FILE_TYPE_PIPE) return true;
  DWORD available = 0;
  if (!PeekNamedPipe(native, nullptr, 0, nullptr, &available, nullptr)) return true;
  if (available > 0) return true;
  Sleep(milliseconds);
  return false;
}

}  // namespace kestrun::platform
