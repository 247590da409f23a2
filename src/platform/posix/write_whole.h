// Writing a whole buffer to a file descriptor.
#pragma once

#include <cstddef>

namespace kestrun::platform {

// Writes every byte, going on after interruptions; false when a write fails
// or takes nothing.
bool WriteWhole(int fd, const char* bytes, std::size_t count);

}  // namespace kestrun::platform
