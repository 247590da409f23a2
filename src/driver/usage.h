// The usage screen shown when the program is started without arguments.
#pragma once

#include <optional>
#include <string>

namespace kestrun {

// Prints the usage screen on the console only (it never reaches a log). The
// contact block follows when the program's version information carries a
// CompanyName or a Comments value.
void ShowUsage(const std::string& programBaseName, const std::optional<std::string>& companyName,
               const std::optional<std::string>& comments);

}  // namespace kestrun
