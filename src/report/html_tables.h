// The tables under a job's timeline: each PID with its kind, name and
// counts, and the stream errors with their counts and first and last
// occurrence.
#pragma once

#include <string>

#include "report/run_report.h"

namespace kestrun::html {

void WritePidTable(std::string& out, const JobReport& job);
void WriteStreamErrorTable(std::string& out, const JobReport& job);

}  // namespace kestrun::html
