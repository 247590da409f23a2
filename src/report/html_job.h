// One job's part of the HTML report: what was read (source, size, packet
// size, play-time and broadcast-time span, programs), the verdict in words,
// the timeline and the tables.
#pragma once

#include <cstddef>
#include <string>

#include "report/run_report.h"

namespace kestrun::html {

// `number` counts the jobs from 1; it names the section and its timeline.
void WriteJobSection(std::string& out, const JobReport& job, std::size_t number);

}  // namespace kestrun::html
