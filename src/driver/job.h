// The program driver: the command line, the loop over sources and passes,
// the job runner, start-up, console control and the exit clean-up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/run_report.h"
#include "support/job_settings.h"

namespace kestrun {

using SourceList = std::vector<std::string>;
class LiveReporter;

// What main keeps for the whole run.
struct ProgramContext {
  JobSettings settings;
  SourceList sources;
  std::string currentSource;
  std::string programBaseName;  // executable name without folder and extension
  std::string tempFolder;       // with a trailing separator
  std::optional<RunReport> report;  // collected when a report or metrics path was given
  std::uint64_t passBytesRead = 0;  // what the jobs of the current pass have read
  // Rewrites the report files during the run; set whenever `report` is, and
  // then the only way to `report` until it has stopped.
  LiveReporter* live = nullptr;
};

// Runs one job on `program.currentSource`: validates the source, chooses the
// log, runs the stream worker on its own thread, prints the summary and
// returns the job's drop total (0 when the source is rejected).
std::int32_t RunJob(ProgramContext& program);

// The whole program: start-up, command line, passes, clean-up, closing line.
// Returns the process exit status.
int RunProgram(int argc, char** argv);

}  // namespace kestrun
