#include "platform/calendar_date.h"

namespace kestrun::platform {
namespace {

constexpr int kFirstYear = 1601;
constexpr int kLastYear = 30827;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool IsValidCalendarTime(const SystemTime& time) {
  if (time.year < kFirstYear || time.year > kLastYear || time.month < 1 || time.month > 12) return false;
  if (time.day < 1 || time.day > DaysInMonth(time.year, time.month)) return false;
  return time.hour < 24 && time.minute < 60 && time.second < 60 && time.milliseconds < 1000;
}

}  // namespace kestrun::platform
