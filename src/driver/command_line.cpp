#include "driver/command_line.h"

#include <array>
#include <string_view>

#include "support/decimal.h"
#include "support/run_flags.h"

namespace kestrun {
namespace {

// What the next argument that is not an option word means.
enum class Pending { Source, LogPath, BufSize, Duration, IgnoredValue, JsonPath, HtmlPath };

enum class Effect {
  SourceMarker,
  NoLog,
  LogPathValue,
  BufSizeValue,
  DurationValue,
  IgnoredValue,
  Pause,
  Pid,
  WrapAround,
  NoProgress,
  Loop,
  NoDel,
  JsonPathValue,
  IsoCounting,
  HtmlPathValue,
};

struct OptionWord {
  std::string_view word;
  Effect effect;
};

// Matching order matters: an argument matches every word that is a prefix of
// it, and each match is applied in this order (-piddef is piddef, then pid).
constexpr std::array<OptionWord, 25> kOptionWords{{
    {"srcpath", Effect::SourceMarker},
    {"nolog", Effect::NoLog},
    {"logpath", Effect::LogPathValue},
    {"bufsize", Effect::BufSizeValue},
    {"duration", Effect::DurationValue},
    {"wsize", Effect::IgnoredValue},
    {"wcaption", Effect::IgnoredValue},
    {"tvtppath", Effect::IgnoredValue},
    {"capmergepatch", Effect::IgnoredValue},
    {"rwcntundrop", Effect::IgnoredValue},
    {"filterpath", Effect::IgnoredValue},
    {"rwcntdrop", Effect::IgnoredValue},
    {"dump", Effect::IgnoredValue},
    {"piddef", Effect::IgnoredValue},
    {"paramhex", Effect::IgnoredValue},
    {"patchtime", Effect::IgnoredValue},
    {"pause", Effect::Pause},
    {"pid", Effect::Pid},
    {"wraparound", Effect::WrapAround},
    {"noprogress", Effect::NoProgress},
    {"loop", Effect::Loop},
    {"nodel", Effect::NoDel},
    {"jsonpath", Effect::JsonPathValue},
    {"isocc", Effect::IsoCounting},
    {"htmlpath", Effect::HtmlPathValue},
}};

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares the first word.size() bytes of `text` with the word, ignoring ASCII
// case. The words are ASCII, so a double-byte character can never match part
// of one: its lead byte is never an ASCII letter.
bool StartsWithWord(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (FoldAscii(text[i]) != word[i]) return false;
  }
  return true;
}

struct ParseState {
  JobSettings& settings;
  SourceList& sources;
  std::uint32_t& consoleFlags;
  Pending pending = Pending::Source;
};

// Applies one matched word; `text` is the argument after its prefix character.
void ApplyWord(ParseState& state, const OptionWord& option, std::string_view text) {
  JobSettings& settings = state.settings;
  state.pending = Pending::Source;
  switch (option.effect) {
    case Effect::SourceMarker: break;
    case Effect::NoLog: settings.logEnabled = false; break;
    case Effect::LogPathValue: state.pending = Pending::LogPath; break;
    case Effect::BufSizeValue: state.pending = Pending::BufSize; break;
    case Effect::DurationValue: state.pending = Pending::Duration; break;
    case Effect::IgnoredValue: state.pending = Pending::IgnoredValue; break;
    case Effect::Pause: settings.pauseAtStart = true; break;
    case Effect::Pid: settings.printProcessId = true; break;
    case Effect::WrapAround: settings.reportWrapAround = true; break;
    case Effect::NoProgress: state.consoleFlags |= kConsoleNoProgress; break;
    case Effect::Loop:
      settings.loopEnabled = true;
      if (text.size() > option.word.size()) {
        settings.loopCount = ParseDecimal32(text.substr(option.word.size()));
      }
      break;
    case Effect::NoDel: break;
    case Effect::JsonPathValue: state.pending = Pending::JsonPath; break;
    case Effect::IsoCounting: settings.countingRule = CountingRule::Iso; break;
    case Effect::HtmlPathValue: state.pending = Pending::HtmlPath; break;
  }
}

void ApplyOptionWord(ParseState& state, std::string_view text) {
  state.pending = Pending::Source;
  for (const OptionWord& option : kOptionWords) {
    if (StartsWithWord(text, option.word)) ApplyWord(state, option, text);
  }
}

void ApplyArgument(ParseState& state, std::string_view argument) {
  JobSettings& settings = state.settings;
  switch (state.pending) {
    case Pending::Source:
      if (!argument.empty()) state.sources.emplace_back(argument);
      break;
    case Pending::LogPath: settings.logPath.assign(argument); break;
    case Pending::BufSize: settings.readBufferSize = ParseDecimal32(argument); break;
    case Pending::Duration:
      // An empty value leaves no window list at all.
      if (argument.empty()) {
        settings.durationText.reset();
      } else {
        settings.durationText.emplace(argument);
      }
      break;
    case Pending::IgnoredValue: break;
    case Pending::JsonPath: settings.jsonPath.assign(argument); break;
    case Pending::HtmlPath: settings.htmlPath.assign(argument); break;
  }
  state.pending = Pending::Source;
}

}  // namespace

void ParseCommandLine(int argc, const char* const* argv, JobSettings& settings,
                      SourceList& sources, std::uint32_t& consoleFlags,
                      OptionPrefixTest isOptionPrefix) {
  ParseState state{settings, sources, consoleFlags};
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i] != nullptr ? argv[i] : "";
    if (!argument.empty() && isOptionPrefix(argument.front())) {
      ApplyOptionWord(state, argument.substr(1));
    } else {
      ApplyArgument(state, argument);
    }
  }
}

}  // namespace kestrun
