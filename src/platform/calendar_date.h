// The date and time fields a SYSTEMTIME may hold. Both platforms refuse
// other fields instead of normalising them into a different date.
#pragma once

#include "support/system_time.h"

namespace kestrun::platform {

// Year 1601 to 30827, a real day of its month, and a time of day within
// 00:00:00.000 to 23:59:59.999. The day of the week is not looked at.
bool IsValidCalendarTime(const SystemTime& time);

}  // namespace kestrun::platform
