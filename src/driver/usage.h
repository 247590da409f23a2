// The usage screen and the version line.
#pragma once

#include <optional>
#include <string>

namespace kestrun {

// Prints the usage screen on the console only (it never reaches a log). The
// contact block follows when the program's version information carries a
// CompanyName or a Comments value; the options not named above it and the
// version close the screen.
void ShowUsage(const std::string& programBaseName, const std::optional<std::string>& companyName,
               const std::optional<std::string>& comments);

// Prints the program name and version on the console.
void ShowVersion(const std::string& programBaseName);

}  // namespace kestrun
