#include "report/html_text.h"

#include <array>
#include <charconv>

#include "ts/civil_date.h"

namespace kestrun::html {
namespace {

// `value` in at least `width` digits.
std::string Padded(std::uint64_t value, std::size_t width) {
  std::string text = Decimal(value);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

constexpr std::int64_t kSecondsPerDay = 86400;

}  // namespace

std::string Escape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string Decimal(std::uint64_t value) {
  std::array<char, 24> digits;
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return std::string(digits.data(), result.ptr);
}

std::string SignedDecimal(std::int64_t value) {
  if (value >= 0) return Decimal(static_cast<std::uint64_t>(value));
  std::string text = "-";
  text += Decimal(0 - static_cast<std::uint64_t>(value));
  return text;
}

std::string Grouped(std::uint64_t value) {
  const std::string digits = Decimal(value);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string Counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return Grouped(count) + " " + std::string(count == 1 ? one : many);
}

std::string Listed(const std::vector<std::string>& parts) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
    text += parts[i];
  }
  return text;
}

std::string PidHex(std::uint16_t pid) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(pid >> shift) & 0xF];
  return text;
}

std::string PlayTime(const ClockTime& time) {
  return Decimal(time.hours) + ":" + Padded(time.minutes, 2) + ":" + Padded(time.seconds, 2) + "." +
         Padded(time.milliseconds, 3);
}

std::string PlayTimeOfTicks(std::uint64_t ticks) { return PlayTime(TicksToClockTime(ticks)); }

std::string BroadcastTime(const SystemTime& time) {
  return Padded(time.year, 4) + "-" + Padded(time.month, 2) + "-" + Padded(time.day, 2) + " " + TimeOfDay(time);
}

std::string TimeOfDay(const SystemTime& time) {
  return Padded(time.hour, 2) + ":" + Padded(time.minute, 2) + ":" + Padded(time.second, 2);
}

SystemTime ShiftedTime(const SystemTime& time, std::int64_t seconds) {
  const std::int64_t days = DaysFromCivil({time.year, time.month, time.day});
  const std::int64_t moved =
      days * kSecondsPerDay + time.hour * 3600 + time.minute * 60 + time.second + seconds;
  SystemTime shifted;
  if (!UtcFromEpoch(moved, &shifted)) return time;
  return shifted;
}

std::string ByteSize(std::uint64_t bytes) {
  struct Unit {
    std::uint64_t size;
    const char* name;
  };
  constexpr std::array<Unit, 4> kUnits = {
      {{1000000000000, "TB"}, {1000000000, "GB"}, {1000000, "MB"}, {1000, "kB"}}};
  for (const Unit& unit : kUnits) {
    if (bytes < unit.size) continue;
    const std::uint64_t tenths = bytes / (unit.size / 10);
    std::string text = Decimal(tenths / 10);
    if (tenths % 10 != 0) {
      text += '.';
      text += Decimal(tenths % 10);
    }
    return text + " " + unit.name;
  }
  return Counted(bytes, "byte", "bytes");
}

}  // namespace kestrun::html
