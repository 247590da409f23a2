// The duration text: the clock-text parser and the play-time windows fed
// arbitrary text (cut at a zero byte, as a command-line argument would be).
//
// Besides crashing, the parser must keep these promises:
// - ParseClockText reads each field as the C runtime's decimal conversion
//   does (blanks, one sign, digits; out-of-range values saturate at the
//   32-bit limits) and keeps its low 16 bits: checked against strtoll;
// - walking the windows with a play time that only grows, the gate lets a
//   packet through only inside the current window, the list is read
//   forwards one item at a time, and once the last window has ended the
//   run stays ended.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "worker/play_windows.h"

namespace kestrun {
namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::uint16_t ReferenceField(const std::string& piece) {
  errno = 0;
  long long value = std::strtoll(piece.c_str(), nullptr, 10);
  value = std::clamp<long long>(value, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu);
}

// The clock-text rule in its plainest form: fields end at ':' (hours,
// minutes, seconds) and '.' (milliseconds); a text without ':' is seconds.
ClockFields ReferenceClock(const std::string& text) {
  std::array<std::uint16_t, 4> fields{};
  std::string rest = text;
  std::size_t i = 0;
  for (;;) {
    const std::size_t cut = rest.find(i < 3 ? ':' : '.');
    if (i == 0 && cut == std::string::npos) i = 2;
    fields[i] = ReferenceField(rest.substr(0, cut));
    if (cut == std::string::npos || i == 3) break;
    rest = rest.substr(cut + 1);
    ++i;
  }
  return {fields[0], fields[1], fields[2], fields[3]};
}

void CheckClockText(const std::string& text) {
  const ClockFields got = ParseClockText(text);
  const ClockFields want = ReferenceClock(text);
  Check(got.hours == want.hours && got.minutes == want.minutes && got.seconds == want.seconds &&
        got.milliseconds == want.milliseconds);
}

// Play times worth probing around the current window, in rising order.
std::array<std::uint64_t, 4> Probes(const DurationWindows& windows) {
  const std::uint64_t start = windows.windowStart;
  const std::uint64_t end = windows.windowEnd;
  return {start == 0 ? 0 : start - 1, start, end, end == kNoWindowEnd ? end : end + 1};
}

void WalkWindows(const std::string& text) {
  DurationWindows windows;
  StartWindows(windows, text);
  const std::size_t items = static_cast<std::size_t>(std::count(text.begin(), text.end(), ',')) + 1;
  std::uint64_t now = 0;
  std::size_t lastCursor = 0;
  bool ended = false;
  // Each round moves past at least one window or reaches the end.
  for (std::size_t round = 0; round < 2 * items + 4; ++round) {
    for (const std::uint64_t probe : Probes(windows)) {
      now = std::max(now, probe);
      const bool inside = WindowGate(windows, now, false);
      if (inside) Check(windows.windowStart <= now && now <= windows.windowEnd);
      if (windows.windowCursor) {
        Check(*windows.windowCursor >= lastCursor && *windows.windowCursor <= text.size());
        lastCursor = *windows.windowCursor;
      }
      if (ended) Check(WindowsExhausted(windows, now) && (!inside || now == windows.windowEnd));
      ended = ended || WindowsExhausted(windows, now);
    }
    if (ended || windows.windowEnd == kNoWindowEnd) return;
  }
  std::abort();  // the walk did not get through the list
}

}  // namespace
}  // namespace kestrun

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::string text(raw.substr(0, raw.find('\0')));
  kestrun::CheckClockText(text);
  kestrun::WalkWindows(text);
  return 0;
}
