#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "support/run_flags.h"

namespace kestrun {

// A mismatch names the fields, not the bytes of the record.
void PrintTo(const JobSettings& s, std::ostream* out) {
  *out << "{logEnabled " << s.logEnabled << ", logPath \"" << s.logPath << "\", readBufferSize "
       << s.readBufferSize << ", durationText " << (s.durationText ? "\"" + *s.durationText + "\"" : "none")
       << ", pauseAtStart " << s.pauseAtStart << ", printProcessId " << s.printProcessId
       << ", reportWrapAround " << s.reportWrapAround << ", loopEnabled " << s.loopEnabled
       << ", loopCount " << s.loopCount << ", jsonPath \"" << s.jsonPath << "\", metricsPath \""
       << s.metricsPath << "\", intervalSeconds " << s.intervalSeconds << ", follow " << s.follow
       << ", followSeconds " << s.followSeconds << ", htmlPath \"" << s.htmlPath << "\"}";
}

namespace {

bool DashOnly(char c) { return c == '-'; }
bool DashOrSlash(char c) { return c == '-' || c == '/'; }

struct Parsed {
  JobSettings settings;
  SourceList sources;
  std::uint32_t consoleFlags = kConsoleOn;
};

Parsed Parse(const std::vector<std::string>& arguments, OptionPrefixTest prefix = &DashOnly) {
  std::vector<const char*> argv{"kestrun"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  Parsed parsed;
  ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), parsed.settings, parsed.sources,
                   parsed.consoleFlags, prefix);
  return parsed;
}

// The settings a case expects; fields not named keep the defaults.
struct Expected : JobSettings {
  bool noProgress = false;
  SourceList sources;
};

void ExpectParsed(const Parsed& parsed, const Expected& expected) {
  EXPECT_EQ(parsed.settings, static_cast<const JobSettings&>(expected));
  EXPECT_EQ((parsed.consoleFlags & kConsoleNoProgress) != 0, expected.noProgress);
  EXPECT_EQ(parsed.consoleFlags & kConsoleOn, kConsoleOn);
  EXPECT_EQ(parsed.sources, expected.sources);
}

// Adjusts the default expectation to what a case expects.
using Expect = void (*)(Expected&);

struct ParseCase {
  const char* name;
  std::vector<std::string> arguments;
  Expect expect;
};

// Test logs name the row, not its bytes.
void PrintTo(const ParseCase& row, std::ostream* out) { *out << row.name; }

Expected ExpectationOf(const ParseCase& c) {
  Expected expected;
  if (c.expect != nullptr) c.expect(expected);
  return expected;
}

// Scenario                       arguments                       outcome
// word prefix, any case          -LOGPATH x                      logPath x
// attached loop count            -loop5                          5 passes
// longer text still matches      -dumpx v a.ts                   v eaten, a.ts
// piddef then pid                -piddef 5 a.ts                  pid; 5, a.ts sources
// option word is never a value   -logpath -nolog                 log off, no path
// value option at the end        a.ts -logpath / -bufsize        no effect
// empty arguments                "" a.ts "" -srcpath ""          only a.ts
const std::vector<ParseCase> kCases = {
    {"NoArguments", {}, nullptr},
    {"UpperCaseLogPath", {"-LOGPATH", "x"}, [](Expected& e) { e.logPath = "x"; }},
    {"WordWithSuffixStillMatches", {"-logpathfoo", "x"}, [](Expected& e) { e.logPath = "x"; }},
    {"LoopWithCount", {"-loop5"}, [](Expected& e) { e.loopEnabled = true; e.loopCount = 5; }},
    {"LoopWithoutCount", {"-loop"}, [](Expected& e) { e.loopEnabled = true; }},
    {"LoopWithJunkCount", {"-loopx"}, [](Expected& e) { e.loopEnabled = true; }},
    {"LoopWithSignedCount", {"-LOOP-3"}, [](Expected& e) { e.loopEnabled = true; e.loopCount = -3; }},
    {"LoopCountIsNotTheNextArgument", {"-loop", "7"},
     [](Expected& e) { e.loopEnabled = true; e.sources = {"7"}; }},
    {"LaterLoopWithoutDigitsKeepsCount", {"-loop3", "-loop"},
     [](Expected& e) { e.loopEnabled = true; e.loopCount = 3; }},
    {"LoopThenSources", {"-loop2", "a.ts", "b.ts"},
     [](Expected& e) { e.loopEnabled = true; e.loopCount = 2; e.sources = {"a.ts", "b.ts"}; }},
    {"DumpWithSuffixEatsValue", {"-dumpx", "v", "a.ts"}, [](Expected& e) { e.sources = {"a.ts"}; }},
    {"PiddefIsAlsoPid", {"-piddef", "5", "a.ts"},
     [](Expected& e) { e.printProcessId = true; e.sources = {"5", "a.ts"}; }},
    {"OptionWordIsNeverAValue", {"-logpath", "-nolog"}, [](Expected& e) { e.logEnabled = false; }},
    {"FilterPathEatsValue", {"-filterpath", "x.txt", "a.ts"},
     [](Expected& e) { e.sources = {"a.ts"}; }},
    {"IgnoredValueWords",
     {"-wsize", "1", "-wcaption", "2", "-tvtppath", "3", "-capmergepatch", "4", "-rwcntundrop", "5",
      "-rwcntdrop", "6", "-paramhex", "7", "-patchtime", "8", "a.ts"},
     [](Expected& e) { e.sources = {"a.ts"}; }},
    {"MixedCaseNoLog", {"-NoLog"}, [](Expected& e) { e.logEnabled = false; }},
    {"ShorterThanAWordMatchesNothing", {"-nolo", "a.ts"}, [](Expected& e) { e.sources = {"a.ts"}; }},
    {"OnlyFlags", {"-pause", "-PID", "-wraparound", "-nodel", "-noprogress"},
     [](Expected& e) {
       e.pauseAtStart = true; e.printProcessId = true; e.reportWrapAround = true;
       e.noProgress = true;
     }},
    {"NoProgressMixedCase", {"-NOPROGRESS", "a.ts"},
     [](Expected& e) { e.noProgress = true; e.sources = {"a.ts"}; }},
    {"EmptyArgumentsNeverSources", {"", "a.ts", "", "-srcpath", ""},
     [](Expected& e) { e.sources = {"a.ts"}; }},
    {"EmptyValueIsConsumed", {"-logpath", "", "b.ts"}, [](Expected& e) { e.sources = {"b.ts"}; }},
    {"SrcpathMarker", {"-srcpath", "a.ts", "b.ts"}, [](Expected& e) { e.sources = {"a.ts", "b.ts"}; }},
    {"SrcpathNeverTakesAnOptionWord", {"-srcpath", "-x.ts", "b.ts"},
     [](Expected& e) { e.sources = {"b.ts"}; }},
    {"UnknownWordThenSource", {"-logpath", "-xyz", "a.ts"}, [](Expected& e) { e.sources = {"a.ts"}; }},
    {"LonePrefixThenSource", {"-logpath", "-", "a.ts"}, [](Expected& e) { e.sources = {"a.ts"}; }},
    {"LogPathAtEnd", {"a.ts", "-logpath"}, [](Expected& e) { e.sources = {"a.ts"}; }},
    {"BufSizeAtEnd", {"-bufsize"}, nullptr},
    {"LaterValueOptionWins", {"-logpath", "-duration", "00:01-00:02"},
     [](Expected& e) { e.durationText = "00:01-00:02"; }},
    {"BufSizeWithBlanksSignAndJunk", {"-bufsize", " \t-12kb"},
     [](Expected& e) { e.readBufferSize = -12; }},
    {"BufSizeWithoutDigits", {"-bufsize", "kb12"}, nullptr},
    {"BufSizeSignThenBlank", {"-bufsize", "+ 5"}, nullptr},
    {"BufSizeLargest", {"-bufsize", "2147483647"}, [](Expected& e) { e.readBufferSize = INT32_MAX; }},
    {"BufSizeSaturatesHigh", {"-bufsize", "4294967295"},
     [](Expected& e) { e.readBufferSize = INT32_MAX; }},
    {"BufSizeSaturatesLow", {"-bufsize", " -99999999999999999999"},
     [](Expected& e) { e.readBufferSize = INT32_MIN; }},
    {"NegativeValueIsAnOptionWord", {"-bufsize", "-5", "a.ts"},
     [](Expected& e) { e.sources = {"a.ts"}; }},
    {"DurationKeptWhole", {"-duration", " 00:00:10-00:01:00, 1:00:00- ;x", "a.ts"},
     [](Expected& e) { e.durationText = " 00:00:10-00:01:00, 1:00:00- ;x"; e.sources = {"a.ts"}; }},
    {"DurationReplaced", {"-duration", "a", "-duration", "b"},
     [](Expected& e) { e.durationText = "b"; }},
    {"EmptyDurationLeavesNone", {"-duration", "a", "-duration", ""}, nullptr},
    {"JsonPathTakesAValue", {"-JsonPath", "r.json", "a.ts"},
     [](Expected& e) { e.jsonPath = "r.json"; e.sources = {"a.ts"}; }},
    {"JsonShorterThanTheWordMatchesNothing", {"-json", "r.json"},
     [](Expected& e) { e.sources = {"r.json"}; }},
    {"LiveWordsTakeTheirValues", {"-metricspath", "m.prom", "-interval", "2", "-follow", "a.ts"},
     [](Expected& e) {
       e.metricsPath = "m.prom";
       e.intervalSeconds = 2;
       e.follow = true;
       e.sources = {"a.ts"};
     }},
    {"FollowTimeAloneSwitchesFollowOn", {"-followtime", "3", "a.ts"},
     [](Expected& e) { e.follow = true; e.followSeconds = 3; e.sources = {"a.ts"}; }},
    {"SecondsWithoutAPositiveNumberKeepTheDefault", {"-interval", "0", "-followtime", "x"},
     [](Expected& e) { e.follow = true; }},
    {"HtmlPathTakesAValue", {"-HTMLPATH", "r.html", "-jsonpath", "r.json", "a.ts"},
     [](Expected& e) { e.htmlPath = "r.html"; e.jsonPath = "r.json"; e.sources = {"a.ts"}; }},
    {"SlashIsASourceOnPosix", {"/abs/path.ts", "/nolog"},
     [](Expected& e) { e.sources = {"/abs/path.ts", "/nolog"}; }},
    {"TwoDashesAreOne", {"--NoLog", "--loop3", "--jsonpath", "r.json", "--", "a.ts"},
     [](Expected& e) {
       e.logEnabled = false; e.loopEnabled = true; e.loopCount = 3; e.jsonPath = "r.json";
       e.sources = {"a.ts"};
     }},
    {"LoneDashIsAReportPath", {"-jsonpath", "-", "-metricspath", "-", "-htmlpath", "-", "a.ts"},
     [](Expected& e) { e.jsonPath = e.metricsPath = e.htmlPath = "-"; e.sources = {"a.ts"}; }},
    {"LoneDashIsNoSource", {"-", "a.ts"}, [](Expected& e) { e.sources = {"a.ts"}; }},
    {"TwoDashesWithAValue",
     {"--jsonpath=r.json", "--LOOP=3", "--srcpath=b.ts", "--htmlpath=-", "--logpath=-", "--srcpath=--nolog",
      "--bogus=1", "a.ts"},
     [](Expected& e) {
       e.jsonPath = "r.json"; e.loopEnabled = true; e.loopCount = 3; e.htmlPath = "-";
       e.sources = {"b.ts", "a.ts"};
     }},
    {"OneDashWithAValueIsAPrefix", {"-jsonpath=r.json", "a.ts"}, [](Expected& e) { e.jsonPath = "a.ts"; }},
    {"ThreeDashesMatchNothing", {"---nolog", "a.ts"}, [](Expected& e) { e.sources = {"a.ts"}; }},
};

class ParseCommandLineTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLineTest, FillsSettingsAndSources) {
  ExpectParsed(Parse(GetParam().arguments), ExpectationOf(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Table, ParseCommandLineTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseCommandLine, SlashStartsAnOptionWithTheWindowsPrefix) {
  Expected expected;
  expected.logEnabled = false;
  expected.loopEnabled = true;
  expected.loopCount = 2;
  expected.sources = {"a.ts", "b.ts"};
  ExpectParsed(Parse({"/loop2", "a.ts", "/NOLOG", "/abs/path.ts", "b.ts"}, &DashOrSlash), expected);
}

// Every argument that starts an option word and matches none, as given.
TEST(ParseCommandLine, CollectsWordsThatMatchNothing) {
  const std::vector<const char*> argv{"kestrun", "-xyz", "--bogus", "-nolo", "--", "-", "-loop5", "-LOGPATH", "x",
                                      "-dumpx", "--nolog", "--bogus=1", "--logpath=-", "a.ts", "/y", nullptr};
  JobSettings settings;
  SourceList sources;
  std::uint32_t flags = kConsoleOn;
  std::vector<std::string> unknown;
  ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), settings, sources, flags, &DashOnly,
                   &unknown);
  EXPECT_EQ(unknown, (std::vector<std::string>{"-xyz", "--bogus", "-nolo", "--", "-", "--bogus=1", "--logpath=-"}));
  unknown.clear();
  ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), settings, sources, flags,
                   &DashOrSlash, &unknown);
  EXPECT_EQ(unknown,
            (std::vector<std::string>{"-xyz", "--bogus", "-nolo", "--", "-", "--bogus=1", "--logpath=-", "/y"}));
}

// arguments                      | request
// -h, --help, -HELP, -?          | usage
// /? with the Windows prefix     | usage (a source on POSIX)
// -V, --version, -version        | version
// a.ts -loop2 --version -h       | version (the first one found)
// -help2 -hx -ver a.ts           | none
// -logpath -h                    | usage: -h is never a value
TEST(FindInfoRequest, WholeWordsAnywhere) {
  struct Case {
    std::vector<const char*> args;
    OptionPrefixTest prefix;
    InfoRequest request;
  };
  const Case cases[] = {
      {{"-h"}, &DashOnly, InfoRequest::Usage},
      {{"--help"}, &DashOnly, InfoRequest::Usage},
      {{"-HELP"}, &DashOnly, InfoRequest::Usage},
      {{"-?"}, &DashOnly, InfoRequest::Usage},
      {{"/?"}, &DashOrSlash, InfoRequest::Usage},
      {{"/?"}, &DashOnly, InfoRequest::None},
      {{"-V"}, &DashOnly, InfoRequest::Version},
      {{"--version"}, &DashOnly, InfoRequest::Version},
      {{"-version"}, &DashOnly, InfoRequest::Version},
      {{"a.ts", "-loop2", "--version", "-h"}, &DashOnly, InfoRequest::Version},
      {{"-help2", "-hx", "-ver", "a.ts"}, &DashOnly, InfoRequest::None},
      {{"-logpath", "-h"}, &DashOnly, InfoRequest::Usage},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"kestrun"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back(nullptr);
    EXPECT_EQ(FindInfoRequest(static_cast<int>(argv.size() - 1), argv.data(), c.prefix), c.request)
        << ::testing::PrintToString(c.args);
  }
}

TEST(ParseCommandLine, LongLogPathIsKeptWhole) {
  const std::string longPath = std::string(300, 'L') + ".log";
  EXPECT_EQ(Parse({"-logpath", longPath}).settings.logPath, longPath);
}

TEST(ParseCommandLine, NoProgressLeavesOtherFlagBitsAlone) {
  JobSettings settings;
  SourceList sources;
  std::uint32_t flags = 0x80000010u;
  const char* argv[] = {"kestrun", "-noprogress", nullptr};
  ParseCommandLine(2, argv, settings, sources, flags, &DashOnly);
  EXPECT_EQ(flags, 0x80000011u);
}

}  // namespace
}  // namespace kestrun
