// The settings filled from the command line before the first job.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrun {

inline constexpr std::int32_t kDefaultIntervalSeconds = 10;
inline constexpr std::int32_t kDefaultFollowSeconds = 10;
// Which continuity rule the drop lines, the summary's drop counts and the
// exit code follow: the checker's own (every packet checked, PCR PIDs
// exempt), or the MPEG-2 systems rule (option isocc).
enum class CountingRule { Default, Iso };

struct JobSettings {
  bool logEnabled = true;
  std::string logPath;
  std::int32_t readBufferSize = 0;
  std::optional<std::string> durationText;
  bool pauseAtStart = false;
  bool printProcessId = false;
  bool reportWrapAround = false;
  bool loopEnabled = false;
  std::int32_t loopCount = 0;
  std::string jsonPath;  // where the run's report goes; empty: no report
  std::string metricsPath;  // where the metrics file goes; empty: none
  // Seconds between the rewrites of the report and metrics files during the run.
  std::int32_t intervalSeconds = kDefaultIntervalSeconds;
  // A file source waits at its end for more data until it has not grown for
  // followSeconds.
  bool follow = false;
  std::int32_t followSeconds = kDefaultFollowSeconds;
  std::string htmlPath;  // where the run's picture goes; empty: none
  CountingRule countingRule = CountingRule::Default;

  bool operator==(const JobSettings&) const = default;
};

}  // namespace kestrun
