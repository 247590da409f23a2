#include "platform/win32/write_whole.h"

namespace kestrun::platform {

bool WriteWhole(HANDLE handle, const char* bytes, std::size_t count) {
  while (count > 0) {
    const DWORD chunk = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    DWORD written = 0;
    if (WriteFile(handle, bytes, chunk, &written, nullptr) == 0 || written == 0) return false;
    bytes += written;
    count -= written;
  }
  return true;
}

}  // namespace kestrun::platform
