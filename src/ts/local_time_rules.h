// Conversion between the machine's local time and seconds since 1970 UTC,
// handed in by the caller so the analysis itself stays free of system calls.
#pragma once

#include <cstdint>

#include "support/system_time.h"

namespace kestrun {

struct LocalTimeRules {
  // A local date and time to seconds since 1970-01-01 00:00 UTC; false for a
  // date or time that does not exist.
  bool (*toEpoch)(const SystemTime& local, std::int64_t* seconds) = nullptr;
  // Seconds since 1970-01-01 00:00 UTC to the local date and time.
  bool (*toLocal)(std::int64_t seconds, SystemTime* local) = nullptr;
  bool operator==(const LocalTimeRules&) const = default;
};

}  // namespace kestrun
