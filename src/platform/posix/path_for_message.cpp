// Paths are UTF-8 here while messages are CP932: a path that is valid UTF-8
// is converted where a message embeds it, other bytes are kept as they are.
// A file of its own, so that the pure code that builds message texts can be
// linked without the rest of the platform layer.
#include "platform/platform.h"
#include "platform/posix/cp932_display.h"

namespace kestrun::platform {

std::string PathForMessage(std::string_view path) {
  return IsValidUtf8(path) ? ConvertUtf8ToCp932(path) : std::string(path);
}

}  // namespace kestrun::platform
