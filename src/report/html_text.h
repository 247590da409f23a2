// The texts of the HTML report: escaping, and numbers, times and sizes
// written by hand, so every build writes the same bytes whatever its C
// library or locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/system_time.h"
#include "ts/clock.h"

namespace kestrun::html {

// `text` (UTF-8) with & < > " ' written as character references, fit for
// element content and quoted attribute values alike.
std::string Escape(std::string_view text);

std::string Decimal(std::uint64_t value);
std::string SignedDecimal(std::int64_t value);
// With a comma between each group of three digits: 1,234,567.
std::string Grouped(std::uint64_t value);
// "1 loss", "3 losses", "1,024 packets".
std::string Counted(std::uint64_t count, std::string_view one, std::string_view many);
// "a", "a and b", "a, b and c"
std::string Listed(const std::vector<std::string>& parts);
// 0x0111
std::string PidHex(std::uint16_t pid);

// H:MM:SS.mmm, as drop lines show play time.
std::string PlayTime(const ClockTime& time);
std::string PlayTimeOfTicks(std::uint64_t ticks);
// YYYY-MM-DD HH:MM:SS
std::string BroadcastTime(const SystemTime& time);
// HH:MM:SS
std::string TimeOfDay(const SystemTime& time);
// A broadcast time moved by whole seconds (either way), by the calendar.
SystemTime ShiftedTime(const SystemTime& time, std::int64_t seconds);

// 1.5 GB, 188 kB, 940 bytes (decimal units, one decimal where it is not 0).
std::string ByteSize(std::uint64_t bytes);

}  // namespace kestrun::html
