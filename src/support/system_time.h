// A calendar date and time in the shape of the Windows SYSTEMTIME record.
#pragma once

#include <cstdint>

namespace kestrun {

struct SystemTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t dayOfWeek = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;

  bool operator==(const SystemTime&) const = default;
};

}  // namespace kestrun
