#include "platform/platform.h"

namespace kestrun::platform {

// UTF-8 continuation bytes are never ASCII, so a byte search cannot stop
// inside a character.
std::size_t FindAnsiChar(std::string_view text, char c, std::size_t from) {
  return text.find(c, from);
}

}  // namespace kestrun::platform
