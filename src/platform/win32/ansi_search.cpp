#include <windows.h>

#include "platform/platform.h"

namespace kestrun::platform {

std::size_t FindAnsiChar(std::string_view text, char c, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == c) return i;
    if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size()) ++i;
  }
  return std::string_view::npos;
}

}  // namespace kestrun::platform
