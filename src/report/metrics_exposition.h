// A writer of the text format monitoring systems scrape (the Prometheus
// exposition format, version 0.0.4): each metric family as a HELP line, a
// TYPE line and its samples, one a line, with label values escaped.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrun {

struct MetricLabel {
  std::string_view name;
  std::string_view value;  // any bytes; written as valid UTF-8, escaped
};

class ExpositionWriter {
 public:
  // Starts a family; its samples follow before the next family starts.
  void Family(std::string_view name, std::string_view type, std::string_view help);
  void Sample(std::string_view name, std::initializer_list<MetricLabel> labels, std::uint64_t value);
  // `value` is a number already in the format's form (e.g. "21.5").
  void Sample(std::string_view name, std::initializer_list<MetricLabel> labels,
              std::string_view value);

  const std::string& Text() const { return out_; }

 private:
  std::string out_;
};

// A label value as the format wants it between its quotes: backslash,
// double quote and line feed escaped, anything else as valid UTF-8.
std::string EscapeLabelValue(std::string_view value);

}  // namespace kestrun
