// Decimal text-to-integer conversions in the manner of the C library's strtol
// with base 10: leading blanks (space, \t, \n, \v, \f, \r) are skipped, one
// '+' or '-' is allowed, reading stops at the first character that is not a
// digit, and text without digits gives 0.
//
// Out-of-range text saturates, as strtol does: the result is the largest or
// smallest value of the result type, never a wrapped one. The 32-bit readings
// saturate at the 32-bit limits (what strtol gives where long is 32 bits, as
// on every Windows build), so "4294967295" reads as 2147483647 on every build
// rather than depending on the width of long.
//
// `end`, when given, receives the index just past the last digit read, or 0
// when no digit was read (strtol's end pointer as an index).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrun {

std::int64_t ParseDecimal64(std::string_view text, std::size_t* end = nullptr);

// Saturates at INT32_MIN and INT32_MAX.
std::int32_t ParseDecimal32(std::string_view text, std::size_t* end = nullptr);

// A signed 32-bit reading stored in an unsigned word, for fields that are read
// as signed numbers and kept as u32: "-1" gives 4294967295, and out-of-range
// text saturates as ParseDecimal32 does before the conversion.
std::uint32_t ParseDecimalU32(std::string_view text, std::size_t* end = nullptr);

}  // namespace kestrun
