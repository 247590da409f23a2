#include "support/decimal.h"

#include <limits>

namespace kestrun {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads with saturation between `low` and `high`. The magnitude is gathered
// as an unsigned value and checked against the limit of its sign before each
// step, so no intermediate value overflows.
std::int64_t ParseClamped(std::string_view text, std::int64_t low, std::int64_t high,
                          std::size_t* end) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::uint64_t limit = negative ? 0u - static_cast<std::uint64_t>(low)
                                       : static_cast<std::uint64_t>(high);
  std::uint64_t magnitude = 0;
  const std::size_t firstDigit = i;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;  // saturated; keep reading to find the end
    } else {
      magnitude = magnitude * 10 + digit;
    }
  }
  if (end != nullptr) *end = i > firstDigit ? i : 0;
  if (i == firstDigit) return 0;
  if (!negative) return static_cast<std::int64_t>(magnitude);
  if (magnitude == limit) return low;
  return -static_cast<std::int64_t>(magnitude);
}

}  // namespace

std::int64_t ParseDecimal64(std::string_view text, std::size_t* end) {
  return ParseClamped(text, std::numeric_limits<std::int64_t>::min(),
                      std::numeric_limits<std::int64_t>::max(), end);
}

std::int32_t ParseDecimal32(std::string_view text, std::size_t* end) {
  return static_cast<std::int32_t>(ParseClamped(text, std::numeric_limits<std::int32_t>::min(),
                                                std::numeric_limits<std::int32_t>::max(), end));
}

std::uint32_t ParseDecimalU32(std::string_view text, std::size_t* end) {
  return static_cast<std::uint32_t>(ParseDecimal32(text, end));
}

}  // namespace kestrun
