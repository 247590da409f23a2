// Times go through FILETIME values: 100-ns units since 1601-01-01, 64-bit, so
// dates after 2038 convert.
#include <windows.h>

#include "platform/calendar_date.h"
#include "platform/platform.h"

namespace kestrun::platform {
namespace {

constexpr std::int64_t kFileTimeOf1970 = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000;
// FILETIME values above this are refused by the conversions.
constexpr std::int64_t kLastFileTime = 0x7FFFFFFFFFFFFFFFLL;

std::int64_t FileTimeValue(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

FILETIME MakeFileTime(std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(bits & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(bits >> 32);
  return time;
}

// Whole seconds, rounded down also before 1970.
std::int64_t FloorSeconds(std::int64_t ticks) {
  std::int64_t seconds = ticks / kTicksPerSecond;
  if (ticks % kTicksPerSecond < 0) --seconds;
  return seconds;
}

}  // namespace

bool LocalTimeToEpoch(const SystemTime& local, std::int64_t* seconds) {
  // Checked here: not every implementation of SystemTimeToFileTime refuses
  // a day its month does not have.
  if (seconds == nullptr || !IsValidCalendarTime(local)) return false;
  SYSTEMTIME fields;
  fields.wYear = local.year;
  fields.wMonth = local.month;
  fields.wDayOfWeek = local.dayOfWeek;
  fields.wDay = local.day;
  fields.wHour = local.hour;
  fields.wMinute = local.minute;
  fields.wSecond = local.second;
  fields.wMilliseconds = local.milliseconds;
  FILETIME localTime;
  FILETIME universalTime;
  if (!SystemTimeToFileTime(&fields, &localTime) || !LocalFileTimeToFileTime(&localTime, &universalTime)) {
    return false;
  }
  *seconds = FloorSeconds(FileTimeValue(universalTime) - kFileTimeOf1970);
  return true;
}

bool EpochToLocalTime(std::int64_t seconds, SystemTime* local) {
  if (local == nullptr) return false;
  if (seconds < -kFileTimeOf1970 / kTicksPerSecond || seconds > (kLastFileTime - kFileTimeOf1970) / kTicksPerSecond) {
    return false;
  }
  const FILETIME universalTime = MakeFileTime(seconds * kTicksPerSecond + kFileTimeOf1970);
  FILETIME localTime;
  SYSTEMTIME fields;
  if (!FileTimeToLocalFileTime(&universalTime, &localTime) || !FileTimeToSystemTime(&localTime, &fields)) {
    return false;
  }
  local->year = fields.wYear;
  local->month = fields.wMonth;
  local->dayOfWeek = fields.wDayOfWeek;
  local->day = fields.wDay;
  local->hour = fields.wHour;
  local->minute = fields.wMinute;
  local->second = fields.wSecond;
  local->milliseconds = fields.wMilliseconds;
  return true;
}

}  // namespace kestrun::platform
