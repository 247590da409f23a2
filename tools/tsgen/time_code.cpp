// UTC_time of the TDT and TOT: a Modified Julian Date and the time of day
// in BCD. Dates are handled with plain day counts (proleptic Gregorian),
// which agree with the usual MJD conversion formula over the whole range
// a 16-bit MJD can carry from 1900-03-01 on.
#include <array>

#include "tsgen/tsgen.h"

namespace kestrun::tsgen {
namespace {

constexpr std::int64_t kMjdOfUnixEpoch = 40587;  // 1970-01-01

std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::uint8_t ToBcd(int value) {
  return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

int FromBcd(std::uint8_t value) { return (value >> 4) * 10 + (value & 0x0F) % 10; }

std::int64_t ToSeconds(const DateTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 +
         t.minute * 60 + t.second;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

DateTime AddSeconds(const DateTime& time, std::int64_t seconds) {
  const std::int64_t total = ToSeconds(time) + seconds;
  const std::int64_t days = FloorDiv(total, 86400);
  const std::int64_t rest = total - days * 86400;
  DateTime out;
  CivilFromDays(days, out.year, out.month, out.day);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  return out;
}

std::array<std::uint8_t, 5> EncodeUtcTime(const DateTime& time) {
  const std::int64_t mjd =
      DaysFromCivil(time.year, time.month, time.day) + kMjdOfUnixEpoch;
  return {static_cast<std::uint8_t>(mjd >> 8), static_cast<std::uint8_t>(mjd),
          ToBcd(time.hour), ToBcd(time.minute), ToBcd(time.second)};
}

std::optional<DateTime> DecodeUtcTime(const std::uint8_t* b) {
  const bool timeUndefined = b[2] == 0xFF && b[3] == 0xFF && b[4] == 0xFF;
  const bool dateUndefined = b[0] == 0xFF && b[1] == 0xFF;
  if (timeUndefined || dateUndefined) return std::nullopt;
  DateTime out;
  const std::int64_t mjd = (b[0] << 8) | b[1];
  CivilFromDays(mjd - kMjdOfUnixEpoch, out.year, out.month, out.day);
  out.hour = FromBcd(b[2]);
  out.minute = FromBcd(b[3]);
  out.second = FromBcd(b[4]);
  return out;
}

}  // namespace kestrun::tsgen
