#include <ctime>
#include <limits>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform_fixtures.h"

namespace kestrun::platform {
namespace {

using testing::ScopedEnv;

// Sets TZ for one scope; the C library reads it again on both changes.
class ScopedZone {
 public:
  explicit ScopedZone(const char* zone) : env_("TZ", zone) { ::tzset(); }
  ~ScopedZone() = default;

  // False when the zone's data is missing and the C library fell back to UTC.
  static bool Installed(const char* zone, std::int64_t someMoment) {
    if (std::string(zone) == "UTC") return true;
    const std::time_t moment = static_cast<std::time_t>(someMoment);
    std::tm fields{};
    return ::localtime_r(&moment, &fields) != nullptr && fields.tm_gmtoff != 0;
  }

 private:
  struct Retzset {
    ~Retzset() { ::tzset(); }
  };
  Retzset retzset_;  // runs after env_ is restored
  ScopedEnv env_;
};

// zone              | local date and time  | seconds since 1970 UTC | weekday
// UTC               | 1970-01-01 00:00:00  | 0                      | Thu
// UTC               | 1969-12-31 23:59:59  | -1 (valid, not an error) | Wed
// UTC               | 2038-01-19 03:14:08  | 2^31                   | Tue
// UTC               | 2040-01-01 00:00:00  | 2208988800             | Sun
// Asia/Tokyo        | 2000-01-01 00:00:00  | 946652400              | Sat
// Asia/Tokyo        | 2040-01-01 09:00:00  | 2208988800             | Sun
// Asia/Tokyo        | 2106-02-07 15:28:16  | 2^32                   | Sun
// America/New_York  | 2040-07-01 12:00:00  | 2224771200 (EDT)       | Sun
// America/New_York  | 2040-01-15 12:00:00  | 2210259600 (EST)       | Sun
struct ZoneCase {
  const char* zone;
  SystemTime local;
  std::int64_t seconds;
};

SystemTime At(int year, int month, int day, int hour, int minute, int second, int dayOfWeek = 0) {
  SystemTime time;
  time.year = static_cast<std::uint16_t>(year);
  time.month = static_cast<std::uint16_t>(month);
  time.day = static_cast<std::uint16_t>(day);
  time.hour = static_cast<std::uint16_t>(hour);
  time.minute = static_cast<std::uint16_t>(minute);
  time.second = static_cast<std::uint16_t>(second);
  time.dayOfWeek = static_cast<std::uint16_t>(dayOfWeek);
  return time;
}

TEST(LocalTime, ConvertsBothWaysInSeveralZones) {
  const ZoneCase cases[] = {
      {"UTC", At(1970, 1, 1, 0, 0, 0, 4), 0},
      {"UTC", At(1969, 12, 31, 23, 59, 59, 3), -1},
      {"UTC", At(2038, 1, 19, 3, 14, 8, 2), 2147483648LL},
      {"UTC", At(2040, 1, 1, 0, 0, 0, 0), 2208988800LL},
      {"Asia/Tokyo", At(2000, 1, 1, 0, 0, 0, 6), 946652400LL},
      {"Asia/Tokyo", At(2040, 1, 1, 9, 0, 0, 0), 2208988800LL},
      {"Asia/Tokyo", At(2106, 2, 7, 15, 28, 16, 0), 4294967296LL},
      {"America/New_York", At(2040, 7, 1, 12, 0, 0, 0), 2224771200LL},
      {"America/New_York", At(2040, 1, 15, 12, 0, 0, 0), 2210259600LL},
  };
  int skipped = 0;
  for (const ZoneCase& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.seconds));
    ScopedZone zone(c.zone);
    if (!ScopedZone::Installed(c.zone, c.seconds)) {
      ++skipped;
      continue;
    }
    std::int64_t seconds = 0;
    ASSERT_TRUE(LocalTimeToEpoch(c.local, &seconds));
    EXPECT_EQ(seconds, c.seconds);
    SystemTime back;
    ASSERT_TRUE(EpochToLocalTime(c.seconds, &back));
    EXPECT_EQ(back.year, c.local.year);
    EXPECT_EQ(back.month, c.local.month);
    EXPECT_EQ(back.day, c.local.day);
    EXPECT_EQ(back.hour, c.local.hour);
    EXPECT_EQ(back.minute, c.local.minute);
    EXPECT_EQ(back.second, c.local.second);
    EXPECT_EQ(back.dayOfWeek, c.local.dayOfWeek);
    EXPECT_EQ(back.milliseconds, 0);
  }
  if (skipped > 0) GTEST_SKIP() << skipped << " cases skipped: time zone data is not installed";
}

// Dates a SYSTEMTIME cannot hold are refused, not normalised into others.
TEST(LocalTime, RefusesImpossibleDates) {
  ScopedZone zone("UTC");
  const SystemTime impossible[] = {
      At(2040, 0, 1, 0, 0, 0),  At(2040, 13, 1, 0, 0, 0),  At(2041, 2, 29, 0, 0, 0), At(2040, 2, 30, 0, 0, 0),
      At(2040, 4, 31, 0, 0, 0), At(2040, 1, 0, 0, 0, 0),   At(2040, 1, 1, 24, 0, 0), At(2040, 1, 1, 0, 60, 0),
      At(2040, 1, 1, 0, 0, 60), At(1600, 12, 31, 0, 0, 0),
  };
  for (const SystemTime& time : impossible) {
    SCOPED_TRACE(std::to_string(time.year) + "-" + std::to_string(time.month) + "-" + std::to_string(time.day) +
                 " " + std::to_string(time.hour) + ":" + std::to_string(time.minute) + ":" +
                 std::to_string(time.second));
    std::int64_t seconds = 12345;
    EXPECT_FALSE(LocalTimeToEpoch(time, &seconds));
  }
  std::int64_t seconds = 0;
  EXPECT_TRUE(LocalTimeToEpoch(At(2040, 2, 29, 0, 0, 0), &seconds));
  SystemTime ignored;
  EXPECT_FALSE(EpochToLocalTime(std::numeric_limits<std::int64_t>::max(), &ignored));
  EXPECT_FALSE(EpochToLocalTime(std::numeric_limits<std::int64_t>::min(), &ignored));
}

}  // namespace
}  // namespace kestrun::platform
