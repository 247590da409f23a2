// The tsgen command line: options on top of a preset profile.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tsgen/tsgen.h"

namespace kestrun::tsgen {

struct CommandLine {
  Profile profile;
  std::string output;        // "-" for standard output
  std::string manifestPath;  // empty: no manifest
  bool help = false;
  bool quiet = false;
};

// Parses the arguments that follow the program name. On a fault returns
// nothing and says why in `error`.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error);

// Parses an injection place: PID@INDEX, @INDEX, RATE% or PID@RATE%, each
// optionally followed by ",AMOUNT".
std::optional<Injection> ParsePlace(InjectKind kind, const std::string& text, std::uint32_t defaultAmount);

std::string UsageText();

}  // namespace kestrun::tsgen
