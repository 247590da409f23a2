// Following a recording that is still being written: at the end of the
// file the worker waits for it to grow instead of ending, and ends once it
// has not grown for the quiet time.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/platform.h"

namespace kestrun {

enum class FollowResult {
  Grew,     // the file holds bytes past what was read: read on
  Quiet,    // nothing was read and the file did not grow for the quiet time
  Stopped,  // a stop was requested
};

// What one job's following remembers from one wait to the next.
struct FollowState {
  std::uint64_t readTo = 0;  // the file position read up to at the last wait
  std::chrono::steady_clock::time_point quietSince;
  bool waited = false;  // a wait has begun before
};

// The file size is looked at every kFollowPollInterval: often enough for a
// stop to end the wait within a fraction of a second, seldom enough to cost
// nothing.
inline constexpr std::chrono::milliseconds kFollowPollInterval{100};

// Called when the reader has nothing more at `readTo` (the file position
// read up to). The quiet time runs from the last wait that found more read
// than the one before; returns as soon as the file is larger than `readTo`.
FollowResult WaitForFileGrowth(platform::FileHandle handle, std::uint64_t readTo,
                               std::chrono::seconds quietTime, FollowState& state);

}  // namespace kestrun
