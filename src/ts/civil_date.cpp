#include "ts/civil_date.h"

namespace kestrun {

// Days are counted in 400-year eras starting on 0000-03-01, so February,
// with its leap day, is the last month of each year.
std::int64_t DaysFromCivil(const CivilDate& date) {
  const std::int64_t year = date.month <= 2 ? date.year - 1 : date.year;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t month = date.month;
  const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + date.day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

CivilDate CivilFromDays(std::int64_t days) {
  const std::int64_t shifted = days + 719468;
  const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
  const std::int64_t dayOfEra = shifted - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
  CivilDate date;
  date.day = static_cast<unsigned>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  date.month = static_cast<unsigned>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
  return date;
}

unsigned WeekdayFromDays(std::int64_t days) {
  // 1970-01-01 was a Thursday.
  const std::int64_t weekday = (days + 4) % 7;
  return static_cast<unsigned>(weekday >= 0 ? weekday : weekday + 7);
}

bool UtcFromEpoch(std::int64_t seconds, SystemTime* out) {
  constexpr std::int64_t kSecondsPerDay = 86400;
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  const CivilDate date = CivilFromDays(days);
  if (date.year < 1 || date.year > 0xFFFF) return false;
  *out = SystemTime{};
  out->year = static_cast<std::uint16_t>(date.year);
  out->month = static_cast<std::uint16_t>(date.month);
  out->dayOfWeek = static_cast<std::uint16_t>(WeekdayFromDays(days));
  out->day = static_cast<std::uint16_t>(date.day);
  out->hour = static_cast<std::uint16_t>(rest / 3600);
  out->minute = static_cast<std::uint16_t>(rest / 60 % 60);
  out->second = static_cast<std::uint16_t>(rest % 60);
  return true;
}

}  // namespace kestrun
