#include "driver/command_line.h"

#include <array>
#include <string>
#include <string_view>

#include "support/decimal.h"
#include "support/run_flags.h"

namespace kestrun {
namespace {

// What the next argument that is not an option word means.
enum class Pending {
  Source,
  LogPath,
  BufSize,
  Duration,
  IgnoredValue,
  JsonPath,
  MetricsPath,
  Interval,
  FollowTime,
  HtmlPath,
};

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
  MetricsPathValue,
  IntervalValue,
  Follow,
  FollowTimeValue,
  IsoCounting,
  HtmlPathValue,
};

struct OptionWord {
  std::string_view word;
  Effect effect;
};

// Matching order matters: an argument matches every word that is a prefix of
// it, and each match is applied in this order (-piddef is piddef, then pid).
constexpr std::array<OptionWord, 29> kOptionWords{{
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
    {"metricspath", Effect::MetricsPathValue},
    {"interval", Effect::IntervalValue},
    // -followtime is both: it switches following on and takes the time.
    {"follow", Effect::Follow},
    {"followtime", Effect::FollowTimeValue},
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

// What the next argument is after this word: the value of a value option,
// else a source.
Pending PendingAfter(Effect effect) {
  switch (effect) {
    case Effect::LogPathValue: return Pending::LogPath;
    case Effect::BufSizeValue: return Pending::BufSize;
    case Effect::DurationValue: return Pending::Duration;
    case Effect::IgnoredValue: return Pending::IgnoredValue;
    case Effect::JsonPathValue: return Pending::JsonPath;
    case Effect::MetricsPathValue: return Pending::MetricsPath;
    case Effect::IntervalValue: return Pending::Interval;
    case Effect::FollowTimeValue: return Pending::FollowTime;
    case Effect::HtmlPathValue: return Pending::HtmlPath;
    default: return Pending::Source;
  }
}

// Applies one matched word; `text` is the argument after its prefix character.
void ApplyWord(ParseState& state, const OptionWord& option, std::string_view text) {
  JobSettings& settings = state.settings;
  state.pending = PendingAfter(option.effect);
  switch (option.effect) {
    case Effect::NoLog: settings.logEnabled = false; break;
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
    case Effect::Follow: settings.follow = true; break;
    case Effect::IsoCounting: settings.countingRule = CountingRule::Iso; break;
    default: break;  // a marker, a value option, or a word that does nothing
  }
}

// Returns whether the text matched any word.
bool ApplyOptionWord(ParseState& state, std::string_view text) {
  state.pending = Pending::Source;
  bool matched = false;
  for (const OptionWord& option : kOptionWords) {
    if (!StartsWithWord(text, option.word)) continue;
    ApplyWord(state, option, text);
    matched = true;
  }
  return matched;
}

// A lone "-" names standard output where a report path is due; anywhere
// else it is an option word that matches nothing.
bool TakesLoneDash(Pending pending) {
  return pending == Pending::JsonPath || pending == Pending::MetricsPath || pending == Pending::HtmlPath;
}

// A time in whole seconds; text without a positive number keeps the default.
std::int32_t SecondsOrDefault(std::string_view text, std::int32_t fallback) {
  const std::int32_t seconds = ParseDecimal32(text);
  return seconds > 0 ? seconds : fallback;
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
    case Pending::MetricsPath: settings.metricsPath.assign(argument); break;
    case Pending::Interval: settings.intervalSeconds = SecondsOrDefault(argument, kDefaultIntervalSeconds); break;
    case Pending::FollowTime: settings.followSeconds = SecondsOrDefault(argument, kDefaultFollowSeconds); break;
    case Pending::HtmlPath: settings.htmlPath.assign(argument); break;
  }
  state.pending = Pending::Source;
}

bool HasTwoDashes(std::string_view argument) {
  return argument.size() > 1 && argument[0] == '-' && argument[1] == '-';
}

std::string_view OptionText(std::string_view argument) { return argument.substr(HasTwoDashes(argument) ? 2 : 1); }

// Whether the last word that `text` matches, the one that decides what the
// next argument is, takes a value.
bool TakesValue(std::string_view text) {
  bool takes = false;
  for (const OptionWord& option : kOptionWords) {
    if (!StartsWithWord(text, option.word)) continue;
    // The marker -srcpath takes a source.
    takes = option.effect == Effect::SourceMarker || PendingAfter(option.effect) != Pending::Source;
  }
  return takes;
}

// --word=value, as long options are written on POSIX: the value of an
// option that takes one, appended to the word otherwise (--loop=3 is
// -loop3). Read by the prefix rule instead, --jsonpath=r.json would take
// the next argument, a source, for its path. The value is held to the rule
// of a value in the next argument: never an option word, and "-" alone
// only where a report path is due.
bool ApplyLongOptionWithValue(ParseState& state, std::string_view text, OptionPrefixTest isOptionPrefix) {
  const std::size_t equals = text.find('=');
  const std::string_view word = text.substr(0, equals);
  const std::string_view value = text.substr(equals + 1);
  if (!TakesValue(word)) return ApplyOptionWord(state, std::string(word) + std::string(value));
  if (!ApplyOptionWord(state, word)) return false;
  const bool reportDash = value == "-" && TakesLoneDash(state.pending);
  if (!reportDash && !value.empty() && isOptionPrefix(value.front())) {
    state.pending = Pending::Source;
    return false;
  }
  ApplyArgument(state, value);
  return true;
}

bool IsOptionArgument(std::string_view argument, OptionPrefixTest isOptionPrefix) {
  return !argument.empty() && isOptionPrefix(argument.front());
}

InfoRequest InfoRequestOf(std::string_view text) {
  for (const std::string_view word : {"h", "help", "?"}) {
    if (text.size() == word.size() && StartsWithWord(text, word)) return InfoRequest::Usage;
  }
  for (const std::string_view word : {"v", "version"}) {
    if (text.size() == word.size() && StartsWithWord(text, word)) return InfoRequest::Version;
  }
  return InfoRequest::None;
}

}  // namespace

std::vector<OptionWordInfo> OptionWords() {
  std::vector<OptionWordInfo> words;
  for (const OptionWord& option : kOptionWords) {
    const bool hasEffect = option.effect != Effect::IgnoredValue && option.effect != Effect::NoDel;
    words.push_back({option.word, hasEffect});
  }
  return words;
}

InfoRequest FindInfoRequest(int argc, const char* const* argv, OptionPrefixTest isOptionPrefix) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i] != nullptr ? argv[i] : "";
    if (!IsOptionArgument(argument, isOptionPrefix)) continue;
    const InfoRequest request = InfoRequestOf(OptionText(argument));
    if (request != InfoRequest::None) return request;
  }
  return InfoRequest::None;
}

void ParseCommandLine(int argc, const char* const* argv, JobSettings& settings,
                      SourceList& sources, std::uint32_t& consoleFlags,
                      OptionPrefixTest isOptionPrefix, std::vector<std::string>* unknownWords) {
  ParseState state{settings, sources, consoleFlags};
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i] != nullptr ? argv[i] : "";
    if (argument == "-" && TakesLoneDash(state.pending)) {
      ApplyArgument(state, argument);
    } else if (IsOptionArgument(argument, isOptionPrefix)) {
      const std::string_view text = OptionText(argument);
      const bool longWithValue = HasTwoDashes(argument) && text.find('=') != std::string_view::npos;
      const bool matched =
          longWithValue ? ApplyLongOptionWithValue(state, text, isOptionPrefix) : ApplyOptionWord(state, text);
      if (!matched && unknownWords != nullptr) {
        unknownWords->emplace_back(argument);
      }
    } else {
      ApplyArgument(state, argument);
    }
  }
}

}  // namespace kestrun
