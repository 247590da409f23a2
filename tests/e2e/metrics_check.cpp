#include "e2e/metrics_check.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/process_runner.h"
#include "support/temp_dir.h"

namespace kestrun::testing {
namespace {

// The distribution's interpreter: its packages are where the client is.
constexpr char kPython[] = "/usr/bin/python3";
constexpr char kPromtool[] = "/usr/bin/promtool";

// Prints every sample as name{labels sorted}<TAB>value.
constexpr char kParseScript[] = R"(
import sys
from prometheus_client.parser import text_string_to_metric_families
text = open(sys.argv[1], encoding="utf-8").read()
for family in text_string_to_metric_families(text):
    for sample in family.samples:
        labels = ",".join("%s=%s" % item for item in sorted(sample.labels.items()))
        print("%s{%s}\t%r" % (sample.name, labels, sample.value))
)";

}  // namespace

std::string PrometheusParsersMissing() {
  static const std::string missing = [] {
    const ProcessResult client =
        RunProcess({kPython, "-c", "import prometheus_client.parser"});
    if (client.exitCode != 0) return std::string("python3-prometheus-client (") + kPython + ")";
    const ProcessResult promtool = RunProcess({kPromtool, "--version"});
    if (promtool.exitCode != 0) return std::string("promtool (package prometheus)");
    return std::string();
  }();
  return missing;
}

ParsedMetrics ParseMetrics(const std::string& text, const std::string& scratch) {
  ParsedMetrics parsed;
  {
    std::ofstream out(scratch, std::ios::binary);
    out << text;
  }
  ProcessOptions options;
  options.stdinData = text;
  const ProcessResult lint = RunProcess({kPromtool, "check", "metrics"}, options);
  if (lint.exitCode != 0) parsed.error = "promtool: " + lint.out + lint.err;
  const ProcessResult client = RunProcess({kPython, "-c", kParseScript, scratch});
  if (client.exitCode != 0) {
    parsed.error += "prometheus_client: " + client.err;
    return parsed;
  }
  std::istringstream lines(client.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab = line.rfind('\t');
    if (tab != std::string::npos) parsed.samples[line.substr(0, tab)] = std::atof(line.c_str() + tab + 1);
  }
  return parsed;
}

std::string SampleKey(const std::string& name, const std::map<std::string, std::string>& labels) {
  std::string key = name + "{";
  for (const auto& [label, value] : labels) key += (key.back() == '{' ? "" : ",") + label + "=" + value;
  return key + "}";
}

std::string SampleKey(const std::string& name, const std::string& source, const std::string& pid,
                      const std::string& kind) {
  std::map<std::string, std::string> labels{{"source", source}};
  if (!pid.empty()) labels.emplace("pid", pid);
  if (!kind.empty()) labels.emplace("kind", kind);
  return SampleKey(name, labels);
}

}  // namespace kestrun::testing
