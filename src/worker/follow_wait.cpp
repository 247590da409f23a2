#include "worker/follow_wait.h"

#include "support/run_flags.h"

namespace kestrun {

FollowResult WaitForFileGrowth(platform::FileHandle handle, std::uint64_t readTo,
                               std::chrono::seconds quietTime, FollowState& state) {
  if (!state.waited || readTo != state.readTo) {
    state.waited = true;
    state.readTo = readTo;
    state.quietSince = std::chrono::steady_clock::now();
  }
  for (;;) {
    if (StopRequested()) return FollowResult::Stopped;
    const std::int64_t size = platform::FileSizeOf(handle);
    if (size > 0 && static_cast<std::uint64_t>(size) > readTo) return FollowResult::Grew;
    if (std::chrono::steady_clock::now() - state.quietSince >= quietTime) return FollowResult::Quiet;
    platform::SleepMs(static_cast<unsigned>(kFollowPollInterval.count()));
  }
}

}  // namespace kestrun
