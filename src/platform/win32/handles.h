// FileHandle carries a Windows HANDLE; null and INVALID_HANDLE_VALUE are both
// "none".
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace kestrun::platform {

inline HANDLE NativeHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle.native()); }

inline FileHandle WrapHandle(HANDLE native) {
  if (native == nullptr || native == INVALID_HANDLE_VALUE) return FileHandle();
  return FileHandle(reinterpret_cast<std::intptr_t>(native));
}

}  // namespace kestrun::platform
