// Local time follows the TZ rules of the C library, with a 64-bit time_t so
// that dates after 2038 convert.
#include <ctime>
#include <limits>

#include "platform/calendar_date.h"
#include "platform/platform.h"

namespace kestrun::platform {
namespace {

// The years a SYSTEMTIME can hold, kept alike on every platform.
constexpr long long kFirstYear = 1601;
constexpr long long kLastYear = 30827;

}  // namespace

bool LocalTimeToEpoch(const SystemTime& local, std::int64_t* seconds) {
  if (seconds == nullptr || !IsValidCalendarTime(local)) return false;
  std::tm fields{};
  fields.tm_year = local.year - 1900;
  fields.tm_mon = local.month - 1;
  fields.tm_mday = local.day;
  fields.tm_hour = local.hour;
  fields.tm_min = local.minute;
  fields.tm_sec = local.second;
  fields.tm_isdst = -1;
  // mktime leaves tm_wday alone on failure; -1 is also a valid result.
  fields.tm_wday = -1;
  const std::time_t result = std::mktime(&fields);
  if (result == static_cast<std::time_t>(-1) && fields.tm_wday == -1) return false;
  *seconds = static_cast<std::int64_t>(result);
  return true;
}

bool EpochToLocalTime(std::int64_t seconds, SystemTime* local) {
  if (local == nullptr) return false;
  if (seconds < std::numeric_limits<std::time_t>::min() || seconds > std::numeric_limits<std::time_t>::max()) {
    return false;
  }
  const std::time_t moment = static_cast<std::time_t>(seconds);
  std::tm fields{};
  if (::localtime_r(&moment, &fields) == nullptr) return false;
  const long long year = static_cast<long long>(fields.tm_year) + 1900;
  if (year < kFirstYear || year > kLastYear) return false;
  local->year = static_cast<std::uint16_t>(year);
  local->month = static_cast<std::uint16_t>(fields.tm_mon + 1);
  local->dayOfWeek = static_cast<std::uint16_t>(fields.tm_wday);
  local->day = static_cast<std::uint16_t>(fields.tm_mday);
  local->hour = static_cast<std::uint16_t>(fields.tm_hour);
  local->minute = static_cast<std::uint16_t>(fields.tm_min);
  // A leap second shows as second 59, as a SYSTEMTIME cannot hold 60.
  local->second = static_cast<std::uint16_t>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
  local->milliseconds = 0;
  return true;
}

}  // namespace kestrun::platform
