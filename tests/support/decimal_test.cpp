#include "support/decimal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace kestrun {
namespace {

constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();

struct DecimalCase {
  const char* text;
  std::int64_t value64;
  std::int32_t value32;
  std::size_t end;  // index after the last digit, 0 without digits
};

// Blanks and one sign before the digits; the first non-digit ends the number;
// out-of-range text saturates at the limits of each width.
const DecimalCase kCases[] = {
    {"", 0, 0, 0},
    {"abc", 0, 0, 0},
    {"-", 0, 0, 0},
    {"+ 5", 0, 0, 0},
    {"--5", 0, 0, 0},
    {"42", 42, 42, 2},
    {" \t\n\v\f\r+42x", 42, 42, 9},
    {"-7:30", -7, -7, 2},
    {"007", 7, 7, 3},
    {"2147483647", 2147483647, 2147483647, 10},
    {"2147483648", 2147483648LL, 2147483647, 10},
    {"-2147483648", -2147483648LL, -2147483647 - 1, 11},
    {"-2147483649", -2147483649LL, -2147483647 - 1, 11},
    {"4294967295", 4294967295LL, 2147483647, 10},
    {"9223372036854775807", kMax64, 2147483647, 19},
    {"9223372036854775808", kMax64, 2147483647, 19},
    {"-9223372036854775808", kMin64, -2147483647 - 1, 20},
    {"-99999999999999999999999;1", kMin64, -2147483647 - 1, 24},
};

TEST(Decimal, ReadsLikeStrtolAndSaturates) {
  for (const DecimalCase& c : kCases) {
    SCOPED_TRACE(c.text);
    std::size_t end64 = 99;
    std::size_t end32 = 99;
    EXPECT_EQ(ParseDecimal64(c.text, &end64), c.value64);
    EXPECT_EQ(ParseDecimal32(c.text, &end32), c.value32);
    EXPECT_EQ(end64, c.end);
    EXPECT_EQ(end32, c.end);
  }
}

TEST(Decimal, UnsignedKeepsTheSignedReadingsBits) {
  EXPECT_EQ(ParseDecimalU32("-1"), 4294967295u);
  EXPECT_EQ(ParseDecimalU32(" 12 "), 12u);
  EXPECT_EQ(ParseDecimalU32("4294967295"), 2147483647u);
  EXPECT_EQ(ParseDecimalU32("-2147483649"), 2147483648u);
}

}  // namespace
}  // namespace kestrun
