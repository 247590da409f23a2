// The run report as one HTML page that needs nothing else: for each job a
// header, a verdict in words, a timeline of losses, drops, incidents,
// damaged and scrambled packets and stream errors, and the tables under it.
// Its data-* attributes are described in docs/report.md.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "report/run_report.h"

namespace kestrun {

// Hands the page to `sink` piece by piece (a job at a time).
void WriteRunReportHtml(const RunReport& report, const std::string& programName,
                        const std::function<void(std::string_view)>& sink);

// The whole page as one text.
std::string FormatRunReportHtml(const RunReport& report, const std::string& programName);

}  // namespace kestrun
