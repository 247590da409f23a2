// The check of a tuner run's JSON report, shared by the tuner tests. Where no
// JSON parser is installed it checks only that a document was written.
#pragma once

#include <string>

namespace kestrun::testing {

// The report at `path` holds one tuner job that ended as `end` with
// `exitCode` drops, and a reported drop event for every drop line of `log`.
void ExpectTunerReport(const std::string& path, const char* end, int exitCode,
                       const std::string& log);

}  // namespace kestrun::testing
