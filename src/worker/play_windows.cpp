#include "worker/play_windows.h"

#include <algorithm>
#include <array>
#include <limits>

namespace kestrun {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Decimal conversion as the C runtime's atoi does it: leading blanks and one
// sign, digits up to the first non-digit, no digits is 0. Out-of-range values
// saturate at the 32-bit limits instead of being undefined; the field keeps
// the low 16 bits, as storing the int result would.
std::uint16_t ConvertField(std::string_view piece) {
  std::size_t i = 0;
  while (i < piece.size() && IsBlank(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
    magnitude = std::min<std::int64_t>(magnitude * 10 + (piece[i] - '0'), kLimit);
  }
  std::int64_t value = negative ? -magnitude : magnitude;
  value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max());
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu);
}

std::uint64_t PartTicks(std::string_view part) { return ClockTicks(ParseClockText(part)); }

}  // namespace

void StartWindows(DurationWindows& windows, std::string_view durationText) {
  windows.durationText.assign(durationText);
  windows.windowCursor = 0;
  ParseNextWindow(windows);
}

void ParseNextWindow(DurationWindows& windows) {
  windows.windowStart = 0;
  windows.windowEnd = kNoWindowEnd;
  const std::string_view text = windows.durationText;
  if (!windows.windowCursor || *windows.windowCursor >= text.size()) return;
  const std::size_t at = *windows.windowCursor;
  const std::size_t comma = text.find(',', at);
  const std::string_view item =
      text.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at);
  const std::size_t dash = item.find('-');
  const std::string_view startPart = item.substr(0, dash);
  const std::string_view endPart =
      dash == std::string_view::npos ? std::string_view{} : item.substr(dash + 1);
  if (!startPart.empty()) windows.windowStart = PartTicks(startPart);
  if (!endPart.empty()) windows.windowEnd = PartTicks(endPart);
  if (dash == std::string_view::npos) {
    // A single time is the end of a window that starts at 0.
    windows.windowEnd = windows.windowStart;
    windows.windowStart = 0;
  }
  if (comma == std::string_view::npos) {
    windows.windowCursor.reset();
  } else {
    windows.windowCursor = comma + 1;
  }
}

ClockFields ParseClockText(std::string_view text) {
  std::array<std::uint16_t, 4> fields{};  // hours, minutes, seconds, milliseconds
  std::string_view rest = text;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const char separator = i < 3 ? ':' : '.';
    const std::size_t cut = rest.find(separator);
    const bool found = cut != std::string_view::npos;
    if (i == 0 && !found) i = 2;  // a lone number is seconds
    fields[i] = ConvertField(rest.substr(0, cut));
    if (!found) break;
    rest = rest.substr(cut + 1);
  }
  return ClockFields{fields[0], fields[1], fields[2], fields[3]};
}

// In 64 bits throughout; with 16-bit fields even the bracketed sum stays
// far below 2^31, but nothing here depends on that.
std::uint64_t ClockTicks(const ClockFields& time) {
  const std::uint64_t seconds = std::uint64_t{time.hours} * 3600 +
                                std::uint64_t{time.minutes} * 60 + time.seconds;
  return seconds * 90000 + std::uint64_t{time.milliseconds} * 90;
}

bool WindowGate(DurationWindows& windows, std::uint64_t now, bool stopRequested) {
  if (stopRequested) return false;
  for (;;) {
    if (windows.windowStart > now) return false;
    if (now <= windows.windowEnd) return true;
    if (!windows.windowCursor) return false;
    // This window has passed: try the next item.
    ParseNextWindow(windows);
  }
}

bool WindowsExhausted(const DurationWindows& windows, std::uint64_t now) {
  return !windows.windowCursor && now >= windows.windowEnd;
}

}  // namespace kestrun
