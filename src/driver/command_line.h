// The command line: option words and the sources to check, in one walk from
// left to right.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "support/job_settings.h"

namespace kestrun {

// The source texts in command-line order; empty arguments never enter it.
using SourceList = std::vector<std::string>;

// Tells whether a character starts an option word ('-', and on Windows '/').
using OptionPrefixTest = bool (*)(char);

// The option table's words in matching order, and whether each changes what
// a run does (the others are accepted and ignored). The usage screen shows
// those with an effect; the manual page names them all.
struct OptionWordInfo {
  std::string_view word;
  bool hasEffect;
};
std::vector<OptionWordInfo> OptionWords();

// What a help or version word anywhere on the line asks for instead of a
// run: -h, -help, -? (/? on Windows) and -v, -version, each also with two
// dashes and in any case. They are whole words, looked for before the option
// table is applied, so no option word or prefix of one changes meaning.
enum class InfoRequest { None, Usage, Version };
InfoRequest FindInfoRequest(int argc, const char* const* argv,
                            OptionPrefixTest isOptionPrefix = &platform::IsOptionPrefix);

// Fills `settings` and `sources` from arguments 1 to argc-1 and sets the
// no-progress bit in `consoleFlags` for noprogress. An option word may start
// with two dashes (--nolog is -nolog; --word=value is -word value, or
// -wordvalue for a word that takes no value), and a lone "-" where a report
// path is due is that path (standard output). The parse never fails: option words
// that match nothing are collected in `unknownWords` (when given) and
// otherwise ignored, empty arguments are ignored, and a value option at the
// end of the line has no effect. It touches no process-wide state, so the
// caller hands in the console flags word and stores it back.
void ParseCommandLine(int argc, const char* const* argv, JobSettings& settings,
                      SourceList& sources, std::uint32_t& consoleFlags,
                      OptionPrefixTest isOptionPrefix = &platform::IsOptionPrefix,
                      std::vector<std::string>* unknownWords = nullptr);

}  // namespace kestrun
