// The metrics file read by the monitoring system's own parsers: promtool
// (the parser the node exporter's textfile collector uses, strict about
// escapes) and the Python client library's. Both come from the
// distribution's packages; where either is missing the tests skip, and
// KESTRUN_REQUIRE_PROMETHEUS (set by CI) makes that a failure.
#pragma once

#include <map>
#include <string>

namespace kestrun::testing {

// Empty when both parsers can be run, else why not.
std::string PrometheusParsersMissing();

struct ParsedMetrics {
  std::string error;  // empty when both parsers took the text
  // Every sample as the Python parser read it: "name{k=v,k=v}" -> value.
  std::map<std::string, double> samples;
};

// Runs both parsers over `text` (written to `scratch` for them).
ParsedMetrics ParseMetrics(const std::string& text, const std::string& scratch);

// The sample key of a metric with these labels.
std::string SampleKey(const std::string& name, const std::map<std::string, std::string>& labels);
// The sample key of a metric with a source label (and a PID and kind).
std::string SampleKey(const std::string& name, const std::string& source, const std::string& pid = {},
                      const std::string& kind = {});

}  // namespace kestrun::testing

// Skips the test when a parser is missing, fails when CI requires them.
#define KESTRUN_REQUIRE_PROMETHEUS()                                                   \
  do {                                                                                \
    const std::string missing_ = ::kestrun::testing::PrometheusParsersMissing();      \
    if (!missing_.empty()) {                                                          \
      if (std::getenv("KESTRUN_REQUIRE_PROMETHEUS") != nullptr)                       \
        FAIL() << "required metrics parser missing: " << missing_;                    \
      GTEST_SKIP() << "metrics parser missing: " << missing_;                         \
    }                                                                                 \
  } while (0)
