#include "report/metrics_exposition.h"

#include "support/json_writer.h"

namespace kestrun {

std::string EscapeLabelValue(std::string_view value) {
  std::string escaped;
  for (const char c : ToValidUtf8(value)) {
    switch (c) {
      case '\\': escaped += "\\\\"; break;
      case '"': escaped += "\\\""; break;
      case '\n': escaped += "\\n"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

void ExpositionWriter::Family(std::string_view name, std::string_view type, std::string_view help) {
  // Help texts are the program's own: no backslash or line feed to escape.
  out_.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void ExpositionWriter::Sample(std::string_view name, std::initializer_list<MetricLabel> labels,
                              std::uint64_t value) {
  Sample(name, labels, std::to_string(value));
}

void ExpositionWriter::Sample(std::string_view name, std::initializer_list<MetricLabel> labels,
                              std::string_view value) {
  out_.append(name);
  if (labels.size() > 0) {
    char separator = '{';
    for (const MetricLabel& label : labels) {
      out_ += separator;
      out_.append(label.name).append("=\"").append(EscapeLabelValue(label.value)).append("\"");
      separator = ',';
    }
    out_ += '}';
  }
  out_.append(" ").append(value).append("\n");
}

}  // namespace kestrun
