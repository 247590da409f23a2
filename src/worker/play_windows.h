// Play-time windows of the duration option: which stretches of play time let
// table packets through, and when the last one has ended the run.
//
// The list is items separated by ','; an item is "start-end", or a single
// time that is then the end (start 0). Either side of '-' may be empty.
// A time is seconds alone, or hours:minutes[:seconds[:milliseconds]]
// (ParseClockText). Nothing is rejected: unreadable numbers count as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace kestrun {

inline constexpr std::uint64_t kNoWindowEnd = std::numeric_limits<std::uint64_t>::max();

struct DurationWindows {
  std::string durationText;                 // the list as given; never changed
  std::optional<std::size_t> windowCursor;  // where the next item starts; none when all are read
  std::uint64_t windowStart = 0;            // 90 kHz ticks
  std::uint64_t windowEnd = kNoWindowEnd;   // 90 kHz ticks, inclusive
};

struct ClockFields {
  std::uint16_t hours = 0;
  std::uint16_t minutes = 0;
  std::uint16_t seconds = 0;
  std::uint16_t milliseconds = 0;
};

// Takes the list and reads its first item.
void StartWindows(DurationWindows& windows, std::string_view durationText);

// Reads the item at the cursor into the window and moves the cursor on.
void ParseNextWindow(DurationWindows& windows);

// "90" is 90 seconds, "1:30" 1 hour 30 minutes, "0:10:00" 10 minutes; the
// milliseconds follow a third ':' ("0:0:1:500"), while in "0:0:1.5" the
// seconds read 1 and the ".5" is ignored.
ClockFields ParseClockText(std::string_view text);

std::uint64_t ClockTicks(const ClockFields& time);

// True when a packet at play time `now` may reach the table handlers.
// Windows that lie wholly before `now` are skipped on the way.
bool WindowGate(DurationWindows& windows, std::uint64_t now, bool stopRequested);

// True once the last window has ended: the run is over.
bool WindowsExhausted(const DurationWindows& windows, std::uint64_t now);

}  // namespace kestrun
