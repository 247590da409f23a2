// Writing a whole buffer to a handle.
#pragma once

#include <windows.h>

#include <cstddef>

namespace kestrun::platform {

// Writes every byte in as many calls as it takes; false when a write fails
// or takes nothing.
bool WriteWhole(HANDLE handle, const char* bytes, std::size_t count);

}  // namespace kestrun::platform
