// printf-style formatting into a std::string of whatever length it needs.
#pragma once

#include <cstdarg>
#include <string>

#define KESTRUN_PRINTF(format_index, first_arg) \
  __attribute__((format(KESTRUN_FORMAT_ARCHETYPE, format_index, first_arg)))

namespace kestrun {

std::string FormatText(const char* format, ...) KESTRUN_PRINTF(1, 2);
std::string FormatTextV(const char* format, va_list args);

}  // namespace kestrun
