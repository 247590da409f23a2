// The command line: option words and the sources to check, in one walk from
// left to right.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/job_settings.h"

namespace kestrun {

// The source texts in command-line order; empty arguments never enter it.
using SourceList = std::vector<std::string>;

// Tells whether a character starts an option word ('-', and on Windows '/').
using OptionPrefixTest = bool (*)(char);

// Fills `settings` and `sources` from arguments 1 to argc-1 and sets the
// no-progress bit in `consoleFlags` for noprogress. The parse never fails:
// unknown option words and empty arguments are ignored, and a value option at
// the end of the line has no effect. It touches no process-wide state, so the
// caller hands in the console flags word and stores it back.
void ParseCommandLine(int argc, const char* const* argv, JobSettings& settings,
                      SourceList& sources, std::uint32_t& consoleFlags,
                      OptionPrefixTest isOptionPrefix = &platform::IsOptionPrefix);

}  // namespace kestrun
