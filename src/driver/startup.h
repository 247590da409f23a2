// Start-up, console control and the exit clean-up.
#pragma once

#include "driver/job.h"
#include "platform/platform.h"

namespace kestrun {

// Finds the temporary folder and the program's base name and starts the
// housekeeping thread.
void InitApplication(ProgramContext& program);

// Turns Ctrl+C and the closing of the console into an orderly stop.
bool ConsoleControlHandler(platform::ConsoleEvent event);

// Ends the housekeeping thread and deletes leftover temporary files.
void ExitCleanup(const ProgramContext& program);

}  // namespace kestrun
