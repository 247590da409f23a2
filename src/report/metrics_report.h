// The run's numbers as metrics for a monitoring system: counters per source
// and PID that add up over every job of the same source (a later job or
// loop pass adds to them, so they never go down), and gauges of the latest
// job of each source.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun {

struct MetricsPid {
  std::uint16_t pid = 0;
  std::uint64_t packets = 0;  // checked, as the summary's Total
  std::uint64_t drops = 0;    // as the summary's Drop
  std::uint64_t transportErrors = 0;
  std::uint64_t scrambled = 0;
  std::string kind;                   // what the PID carries: video, audio, ...
  std::uint64_t continuityErrors = 0;  // by the MPEG-2 systems rule
};

// A stream-error indicator (its report key) and how often it fired.
struct MetricsStreamError {
  std::string indicator;
  std::uint64_t count = 0;
};

// One job, finished or running, in the order the jobs ran.
struct MetricsJob {
  std::string source;  // the source text, UTF-8
  std::int64_t started = 0;       // seconds since 1970; 0 when not known
  bool running = false;
  std::vector<MetricsPid> pids;
  std::uint64_t readBytes = 0;
  std::uint64_t discardedBytes = 0;
  std::int64_t lastDropTime = 0;   // seconds since 1970; 0 for none
  std::optional<float> signalLevel;  // the latest level, when the driver gave one
  std::vector<MetricsStreamError> streamErrors;  // every indicator, in the report's order
};

// The metrics file: every family with its HELP and TYPE lines, samples
// ordered by source and PID.
std::string FormatMetrics(const std::vector<MetricsJob>& jobs);

// A PID as the log writes it: "0x01F0".
std::string PidLabel(std::uint16_t pid);

}  // namespace kestrun
