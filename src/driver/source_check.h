// The job runner's checks of a source before its worker starts.
#pragma once

#include <string>

#include "driver/job.h"

namespace kestrun {

// Checks the source (the text up to its first ';') and, for a file, derives
// the log name next to it. Prints the notice, tells why in `refusal` and
// returns false when the job cannot run.
bool CheckSource(ProgramContext& program, const std::string& source, SourceRefusal& refusal);

// Puts the log target in force for this job: a log path that names a
// transport stream turns logging off for the rest of the run.
void ChooseLogTarget(JobSettings& settings);

}  // namespace kestrun
