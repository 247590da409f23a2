// Proleptic Gregorian calendar arithmetic on day numbers counted from
// 1970-01-01, exact for any date the stream can express.
#pragma once

#include <cstdint>

#include "support/system_time.h"

namespace kestrun {

struct CivilDate {
  std::int64_t year = 1970;
  unsigned month = 1;  // 1..12
  unsigned day = 1;    // 1..31
};

std::int64_t DaysFromCivil(const CivilDate& date);
CivilDate CivilFromDays(std::int64_t days);
// 0 = Sunday.
unsigned WeekdayFromDays(std::int64_t days);

// Seconds since 1970-01-01 00:00 UTC as the UTC date and time (day of week
// included); false when the year lies outside 1..65535.
bool UtcFromEpoch(std::int64_t seconds, SystemTime* out);

}  // namespace kestrun
