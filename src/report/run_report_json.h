// The run report as a JSON document (its form is described in docs/report.md).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "report/run_report.h"

namespace kestrun {

// Hands the document to `sink` piece by piece, as it is written.
void WriteRunReport(const RunReport& report, const std::string& programName,
                    const std::function<void(std::string_view)>& sink);

// The whole document as one text.
std::string FormatRunReport(const RunReport& report, const std::string& programName);

}  // namespace kestrun
