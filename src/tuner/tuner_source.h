// The tuner source text: \\.\bondriver\SPACE\CHANNEL\DRIVER-PATH, anything
// from the first ';' on cut off. The job runner checks it before a job starts;
// the worker splits it into the tuner record's numbers and driver path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrun {

inline constexpr std::string_view kTunerSourcePrefix = "\\\\.\\bondriver\\";

// The text up to the first ';' (all of it when there is none). Searches in
// the text step over double-byte characters of the ANSI code page.
std::string_view CutAtSemicolon(std::string_view source);

// True when the text (cut at ';') begins with the tuner prefix; the prefix is
// compared case-sensitively.
bool IsTunerSource(std::string_view source);

// The pieces behind the prefix, split at the first two backslashes. A missing
// backslash leaves the following pieces absent; the driver path keeps any
// further backslashes.
struct TunerSourceParts {
  std::string space;
  std::optional<std::string> channel;
  std::optional<std::string> driverPath;
};
// Nothing when the text is not a tuner source.
std::optional<TunerSourceParts> SplitTunerSource(std::string_view source);

// Which of the job runner's refusals applies to a source text.
enum class TunerSourceIssue {
  None,       // not a tuner source, or a tuner source that passes
  NoSpace,    // the space part is empty
  NoChannel,  // the channel part is missing or empty
  NoDriver,   // the driver path is missing, empty, or names nothing that exists
};
TunerSourceIssue CheckTunerSource(std::string_view source);

// The catalog text of the refusal (a format with one %s), or null for None.
const char* TunerSourceIssueText(TunerSourceIssue issue);

// Checks the source and, when it is refused, writes the refusal as a recorded
// message naming the text up to its first ';'. True when refused; the reason
// goes to `issue` when given.
bool ReportTunerSourceIssue(std::string_view source, TunerSourceIssue* issue = nullptr);

// A number piece read as a signed 32-bit decimal the way the C library's
// strtol reads one (leading blanks, an optional sign, digits up to the first
// other byte, no digits = 0, out of range = the nearest limit) and kept as
// its unsigned 32-bit bit pattern: "-1" gives 4294967295.
std::uint32_t ParseTunerNumber(std::string_view text);

}  // namespace kestrun
