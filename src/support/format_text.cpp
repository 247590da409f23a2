#include "support/format_text.h"

#include <cstdio>

namespace kestrun {

// Most texts are short: they are formatted once into a buffer on the stack,
// and only a longer one is measured there and formatted again to size.
std::string FormatTextV(const char* format, va_list args) {
  char shortText[256];
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(shortText, sizeof shortText, format, measure);
  va_end(measure);
  if (length <= 0) return {};
  if (static_cast<std::size_t>(length) < sizeof shortText) {
    return std::string(shortText, static_cast<std::size_t>(length));
  }
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  return text;
}

}  // namespace kestrun
