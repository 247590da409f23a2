#include "support/real_text.h"

#include <charconv>
#include <cstdio>

namespace kestrun {
namespace {

template <typename Real>
std::string Shortest(Real value) {
  char text[64];
  const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace

std::string RealText(float value) { return Shortest(value); }
std::string RealText(double value) { return Shortest(value); }

std::string UnixSecondsText(std::int64_t unixMs) {
  const bool negative = unixMs < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(unixMs) : static_cast<std::uint64_t>(unixMs);
  char text[32];
  std::snprintf(text, sizeof text, "%s%llu.%03u", negative ? "-" : "",
                static_cast<unsigned long long>(magnitude / 1000),
                static_cast<unsigned>(magnitude % 1000));
  return text;
}

}  // namespace kestrun
