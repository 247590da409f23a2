// The real program on the command line: exact console and log bytes, exit
// codes, the derived log name and the source checks, for every build.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "e2e/stream_e2e.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "support/kestrun_builds.h"
#include "support/program_version.h"
#include "support/stream_builder.h"
#include "support/temp_dir.h"
#include "ts/ts_test_packets.h"
#include "tsgen/tsgen.h"

namespace kestrun {
namespace {

using testing::CleanPackets;
using testing::FileExists;
using testing::KestrunBuild;
using testing::PacketsWithCc;
using testing::ReadFileBytes;
using testing::TempDir;

using stream_e2e::Closing;
using stream_e2e::SummaryBlock;
using stream_e2e::SummaryLine;

// The usage screen's lines up to the contact block; the Windows program is
// called with its ".exe".
std::string UsageScreen(const KestrunBuild& build, bool withContact) {
  const char* syntax = build.windows ? text::kUsageSyntax : text::kUsageSyntaxPlain;
  std::string screen = std::string(text::kUsageArgs) +
                       FormatText(syntax, build.BaseName().c_str()) + text::kUsageDescription +
                       text::kUsagePurpose + text::kUsageSrcpath + text::kUsageNolog +
                       text::kUsageNologText + text::kUsageLogpath + text::kUsageLogpathText +
                       text::kUsageLogpathNolog + text::kUsageLogpathTs;
  if (withContact) {
    screen += text::kUsageContact;
    screen += FormatText(text::kUsageContactItem, text::kVersionCompanyName);
    screen += FormatText(text::kUsageContactItem, text::kVersionComments);
  }
  return screen;
}

class RunFixture : public ::testing::Test {
 protected:
  void SetUp() override { build_.exe = KESTRUN_BIN; }

  testing::ProcessResult Run(const std::vector<std::string>& args,
                             testing::ProcessOptions options = {}) {
    if (options.workingDirectory.empty()) options.workingDirectory = dir_.path();
    return build_.Run(args, options);
  }

  KestrunBuild build_;
  TempDir dir_;
};

class CommandLineRun : public RunFixture, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { KESTRUN_REQUIRE_BUILD(GetParam(), build_); }
};

// The screen ends with the options added behind the fixed lines and the
// version.
TEST_P(CommandLineRun, NoArgumentShowsOnlyTheUsageScreen) {
  const auto result = Run({});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.rfind(UsageScreen(build_, true) + text::kUsageMoreOptions, 0), 0u);
  const std::string version =
      FormatText(text::kUsageVersionItem, build_.BaseName().c_str(), ProgramVersion());
  EXPECT_EQ(result.out.substr(result.out.size() - version.size()), version);
}

// Help and version words, option words with two dashes and words that match
// no option, wherever they stand; the source a.ts is clean.
//
// arguments                    | console                        | notices     | exit
// -h, --help, -? a.ts, -H      | the usage screen alone         |             | 0
// /? (Windows)                 | the usage screen alone         |             | 0
// --version, -version a.ts     | name and version               |             | 0
// --nolog --noprogress a.ts    | the run, no log, no progress   |             | 0
// -xyz --bogus -- a.ts -NOLOG  | the run, no log                | one per word| 0
struct WordCase {
  const char* name;
  std::vector<std::string> args;
  enum { Usage, Version, Run } shows;
  std::vector<std::string> unknown;
  bool windowsOnly = false;
};

TEST_P(CommandLineRun, HelpVersionAndUnknownWords) {
  const std::string usage = Run({}).out;
  const std::string source = dir_.Write("a.ts", CleanPackets(0x100, 20));
  const std::string run = "\n" + SummaryBlock(build_.Path(source), SummaryLine(0x100, 3, 0, 20));
  const WordCase cases[] = {
      {"ShortHelp", {"-h"}, WordCase::Usage, {}},
      {"LongHelp", {"--help"}, WordCase::Usage, {}},
      {"QuestionMarkBeforeASource", {"-?", "a.ts"}, WordCase::Usage, {}},
      {"HelpInCapitals", {"-H"}, WordCase::Usage, {}},
      {"SlashQuestionMark", {"/?"}, WordCase::Usage, {}, true},
      {"LongVersion", {"--version"}, WordCase::Version, {}},
      {"VersionAfterASource", {"a.ts", "-version"}, WordCase::Version, {}},
      {"TwoDashOptions", {"--nolog", "--noprogress", "a.ts"}, WordCase::Run, {}},
      {"UnknownWords", {"-xyz", "--bogus", "--", "a.ts", "-NOLOG"}, WordCase::Run,
       {"-xyz", "--bogus", "--"}},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.windowsOnly && !build_.windows) continue;
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(arg == "a.ts" ? build_.Path(source) : arg);
    const auto result = Run(args);
    EXPECT_EQ(result.exitCode, 0);
    std::string notices;
    for (const std::string& word : c.unknown) notices += FormatText(text::kMsgUnknownOption, word.c_str());
    std::string expected = c.shows == WordCase::Usage     ? usage
                           : c.shows == WordCase::Version ? FormatText(text::kFmtVersion, build_.BaseName().c_str(), ProgramVersion())
                                                          : run + Closing(0);
    // Notices come before anything else: on the console on Windows, on
    // standard error on POSIX.
    EXPECT_EQ(result.out, (build_.windows ? notices : "") + expected);
    if (!build_.windows) {
      EXPECT_EQ(result.err, notices);
    }
    EXPECT_FALSE(FileExists(dir_.File("a." + build_.BaseName() + ".log")));
  }
}

// A report path that names a recording (its own file name forgotten) is
// refused with a notice, as the log is; the recording is left as it was.
TEST_P(CommandLineRun, ReportPathsNamingARecordingAreNotWritten) {
  const std::string bytes = CleanPackets(0x100, 20);
  const std::string source = build_.Path(dir_.Write("a.ts", bytes));
  const std::string run = "\n" + SummaryBlock(source, SummaryLine(0x100, 3, 0, 20)) + Closing(0);
  const std::string notice = FormatText(text::kMsgReportIsTransportStream, source.c_str());
  for (const char* option : {"-jsonpath", "-metricspath", "-htmlpath"}) {
    SCOPED_TRACE(option);
    const auto result = Run({"-nolog", "-noprogress", option, source, source});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, (build_.windows ? notice : "") + run);
    if (!build_.windows) {
      EXPECT_EQ(result.err, notice);
    }
    EXPECT_EQ(ReadFileBytes(dir_.File("a.ts")), bytes);
  }
}

TEST_P(CommandLineRun, OnlyOptionsRunNoJob) {
  const auto result = Run({"-nolog", "-noprogress"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, Closing(0));
}

TEST_P(CommandLineRun, MissingFileIsReportedAndDerivesNoLog) {
  const std::string missing = dir_.File("missing.ts");
  const auto result = Run({build_.Path(missing)});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out,
            FormatText(text::kMsgFileMissing, build_.Path(missing).c_str()) + Closing(0));
  EXPECT_FALSE(FileExists(dir_.File("missing." + build_.BaseName() + ".log")));
}

TEST_P(CommandLineRun, CleanFileWritesItsLogNextToIt) {
  const std::string source = dir_.Write("a.ts", CleanPackets(0x100, 20));
  const auto result = Run({build_.Path(source)});
  EXPECT_EQ(result.exitCode, 0);
  const std::string block = SummaryBlock(build_.Path(source), SummaryLine(0x100, 3, 0, 20));
  EXPECT_EQ(result.out, "\n" + block + Closing(0));
  EXPECT_EQ(ReadFileBytes(dir_.File("a." + build_.BaseName() + ".log")), block + Closing(0));
}

std::string Concatenated(const std::vector<ts_test::Packet>& packets) {
  std::string bytes;
  for (const ts_test::Packet& p : packets) bytes.append(p.begin(), p.end());
  return bytes;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// A drop, a packet in order (the fast lane's), the PID named PCR PID and
// then moved to carry a PMT: that PMT names the next PCR PID, whose packets
// must not be reported. Only a drop as the last packet checked loses it.
TEST_P(CommandLineRun, PcrPidMovedToPmtPidStillExemptsTheNextPcrPid) {
  const struct {
    std::array<std::uint8_t, 2> before;
    int drops;
  } cases[] = {{{2, 3}, 0}, {{1, 2}, 0}, {{1, 3}, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.drops);
    const std::string source = dir_.Write("moved.ts", Concatenated(ts_test::PcrPidMovedToPmtPid(c.before)));
    const auto result = Run({"-nolog", "-noprogress", build_.Path(source)});
    EXPECT_EQ(result.exitCode, c.drops);
    EXPECT_EQ(Count(result.out, "DROP : PID 0x0400"), static_cast<std::size_t>(c.drops)) << result.out;
  }
}

// Only CON itself is standard input: CONCERT.ts and CONFIG.ts are files,
// checked and logged like their lower-case namesakes (in folders of their
// own, for Windows does not tell the two apart).
TEST_P(CommandLineRun, NamesBeginningWithConAreFiles) {
  const std::string stream = CleanPackets(0x100, 20);
  const std::string text(1000, 'x');
  for (const char* folder : {"upper", "lower"}) std::filesystem::create_directory(dir_.File(folder));
  const struct {
    const char* upper;
    const char* lower;
    const std::string& bytes;
  } cases[] = {{"CONCERT.ts", "concert.ts", stream}, {"CONFIG.ts", "config.ts", text}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.upper);
    std::string out[2];
    int exitCode[2];
    for (int i = 0; i < 2; ++i) {
      const std::string name = i == 0 ? c.upper : c.lower;
      const std::string path = dir_.Write(std::string(i == 0 ? "upper/" : "lower/") + name, c.bytes);
      const auto result = Run({"-noprogress", build_.Path(path)});
      exitCode[i] = result.exitCode;
      out[i] = result.out;
      const std::size_t at = out[i].find(build_.Path(path));
      if (at != std::string::npos) out[i].replace(at, build_.Path(path).size(), "SOURCE");
      const std::string log = path.substr(0, path.rfind('.')) + "." + build_.BaseName() + ".log";
      EXPECT_EQ(FileExists(log), &c.bytes == &stream) << log;
    }
    EXPECT_EQ(exitCode[0], exitCode[1]);
    EXPECT_EQ(out[0], out[1]);
    EXPECT_NE(out[0].find("SOURCE"), std::string::npos) << out[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, CommandLineRun, ::testing::Values("native", "win64", "win32"));

// The rest runs on the native build: the behaviour is shared code.
using NativeRun = RunFixture;

TEST_F(NativeRun, NotATransportStreamIsRefused) {
  const std::string source = dir_.Write("text.ts", std::string(1000, 'x'));
  const auto result = Run({source});
  EXPECT_EQ(result.out, FormatText(text::kMsgNotTransportStream, source.c_str()) + Closing(0));
}

// Drops are counted (and give the exit code) even before any PCR PID is
// known; drop lines wait for one.
TEST_F(NativeRun, LoopRunsEveryPassAndAddsTheDrops) {
  const std::string a = dir_.Write("a.ts", PacketsWithCc(0x100, {0, 1, 3, 4, 4, 5}));
  const std::string b = dir_.Write("b.ts", PacketsWithCc(0x200, {0, 2, 3}));
  const auto result = Run({"-noprogress", "-loop2", a, b});
  EXPECT_EQ(result.exitCode, 2 * (2 + 1));
  const std::string log = ReadFileBytes(dir_.File("a.kestrun.log"));
  const std::string aBlock = SummaryBlock(a, SummaryLine(0x100, 5, 2, 6));
  const std::string bBlock = SummaryBlock(b, SummaryLine(0x200, 3, 1, 3));
  // The log target of the last job stays in force for the closing line.
  EXPECT_EQ(log, aBlock + aBlock);
  EXPECT_EQ(ReadFileBytes(dir_.File("b.kestrun.log")), bBlock + bBlock + Closing(6));
}

TEST_F(NativeRun, LogPathNamingATransportStreamTurnsLoggingOff) {
  const std::string a = dir_.Write("a.ts", CleanPackets(0x100, 4));
  const std::string logTs = dir_.Write("log.ts", CleanPackets(0x101, 4));
  const auto result = Run({"-logpath", logTs, a, a});
  EXPECT_EQ(result.out.rfind(FormatText(text::kMsgLogIsTransportStream, logTs.c_str()), 0), 0u);
  EXPECT_EQ(ReadFileBytes(logTs), CleanPackets(0x101, 4));
  EXPECT_FALSE(FileExists(dir_.File("a.kestrun.log")));
}

// A message ending in CR LF is stored with CR LF once, one ending in LF with
// LF alone. Before the first job that has a log path, messages reach the
// console only.
TEST_F(NativeRun, LogKeepsEachMessagesLineEnd) {
  const std::string a = dir_.Write("a.ts", CleanPackets(0x100, 3));
  const std::string log = dir_.File("run.log");
  const std::string missing = FormatText(text::kMsgFileMissing, dir_.File("none.ts").c_str());
  const auto result = Run({"-logpath", log, dir_.File("none.ts"), a, dir_.File("none.ts")});
  EXPECT_EQ(ReadFileBytes(log), SummaryBlock(a, SummaryLine(0x100, 2, 0, 3)) + missing + Closing(0));
  EXPECT_EQ(result.out, missing + "\n" + SummaryBlock(a, SummaryLine(0x100, 2, 0, 3)) + missing +
                            Closing(0));
}

TEST_F(NativeRun, NoLogWithLogPathWritesNoFile) {
  const std::string a = dir_.Write("a.ts", CleanPackets(0x100, 3));
  const auto result = Run({"-nolog", "-logpath", dir_.File("x.log"), a});
  EXPECT_NE(result.out.find(Closing(0)), std::string::npos);
  EXPECT_FALSE(FileExists(dir_.File("x.log")));
  EXPECT_FALSE(FileExists(dir_.File("a.kestrun.log")));
}

// "-logpath -nolog": the option word is never taken as a value.
TEST_F(NativeRun, OptionWordIsNeverAValue) {
  const std::string a = dir_.Write("a.ts", CleanPackets(0x100, 3));
  Run({"-logpath", "-nolog", a});
  EXPECT_FALSE(FileExists(dir_.File("a.kestrun.log")));
}

TEST_F(NativeRun, PiddefPrintsTheProcessIdAndTakesBothSources) {
  const auto result = Run({"-nolog", "-piddef", "5", "missing.ts"});
  EXPECT_EQ(result.out.rfind("\x81\x7C ", 0), 0u);
  EXPECT_NE(result.out.find(FormatText(text::kMsgFileMissing, "5")), std::string::npos);
  EXPECT_NE(result.out.find(FormatText(text::kMsgFileMissing, "missing.ts")), std::string::npos);
}

TEST_F(NativeRun, StartOffsetsAreAppliedAndTheLogNameIgnoresThem) {
  const std::string a = dir_.Write("a.ts", CleanPackets(0x100, 10));
  // Past the end, past what the file system can seek to, and saturated at
  // the largest offset: nothing is analysed.
  const auto result = Run({"-noprogress", a + ";1000", a + ";-189", a + ";-1", a + ";1881",
                           a + ";17592186044416", a + ";99999999999999999999"});
  EXPECT_EQ(result.exitCode, 0);
  const std::string log = ReadFileBytes(dir_.File("a.kestrun.log"));
  // 1000 bytes in: packets 6..9 (the scan finds the sync byte at 1128); 188
  // bytes before the end: the last packet alone.
  EXPECT_EQ(log, SummaryBlock(a, SummaryLine(0x100, 9, 0, 4)) +
                     SummaryBlock(a, SummaryLine(0x100, 9, 0, 1)) + Closing(0));
}

// A CON job after a file job records into the file's log; it keeps polling
// its input until Ctrl+C ends it in order.
TEST_F(NativeRun, ConJobAfterAFileJobWritesToTheFilesLog) {
  const std::string a = dir_.Write("a.ts", CleanPackets(0x100, 3));
  testing::ProcessOptions options;
  options.stdinData = CleanPackets(0x300, 1200);
  options.keepStdinOpen = true;
  options.stdoutTerminal = true;
  options.signal = SIGINT;
  options.signalWhen = "PCR 0:00:00.000\r";  // the first progress line of the CON job
  const auto result = Run({a, "CON"}, options);
  EXPECT_EQ(result.exitCode, 0) << ::testing::PrintToString(result.out);
  const std::string log = ReadFileBytes(dir_.File("a.kestrun.log"));
  const std::string fileBlock = SummaryBlock(a, SummaryLine(0x100, 2, 0, 3));
  EXPECT_EQ(log.rfind(fileBlock + FormatText(text::kFmtDropHeader, "CON") + "0x0300 : ", 0), 0u);
  EXPECT_EQ(log.substr(log.size() - Closing(0).size()), Closing(0));
}

// A stream whose tables change under way (the PMT moved onto a former
// elementary-stream PID, the PCR onto a formerly plain PID), with drops
// throughout: the log must not depend on how the reads split it, through
// standard input in writes of 1 byte to 1 MiB or from the file with read
// buffers of different sizes.
TEST_F(NativeRun, ReadSplitsDoNotChangeTheLog) {
  std::string stream;
  const std::pair<std::uint16_t, std::uint16_t> layouts[] = {{0x01F0, 0x01FF}, {0x0111, 0x0112}, {0x01F0, 0x0111}};
  for (const auto& [pmtPid, pcrPid] : layouts) {
    tsgen::Profile profile = tsgen::DefaultProfile();
    profile.seconds = 0.25;
    profile.programs[0].pmtPid = pmtPid;
    profile.programs[0].pcrPid = pcrPid;
    for (tsgen::ElementaryStream& es : profile.programs[0].streams) {
      if (es.pid == pmtPid) es.pid = 0x0113;
    }
    profile.injections = {{tsgen::InjectKind::Drop, -1, 0, 0.01, 1}};
    const std::vector<std::uint8_t> part = tsgen::Generate(profile, nullptr);
    stream.append(part.begin(), part.end());
  }
  const std::string file = dir_.Write("changing.ts", stream);
  auto logOf = [&](const std::vector<std::string>& args, testing::ProcessOptions options) {
    const std::string log = dir_.File("split.log");
    std::filesystem::remove(log);
    std::vector<std::string> all = {"-noprogress", "-logpath", log};
    all.insert(all.end(), args.begin(), args.end());
    const auto result = Run(all, options);
    EXPECT_FALSE(result.timedOut);
    return ReadFileBytes(log);
  };
  std::string fileLog;
  for (const char* bufsize : {"48128", "100000", "0"}) {
    const std::string log = logOf({"-bufsize", bufsize, file}, {});
    if (fileLog.empty()) fileLog = log;
    EXPECT_EQ(log, fileLog) << "bufsize " << bufsize;
  }
  EXPECT_NE(fileLog.find("DROP : PID"), std::string::npos);
  std::string stdinLog;
  for (const std::size_t writeSize : {std::size_t{1}, std::size_t{187}, std::size_t{5000}, std::size_t{1} << 20}) {
    testing::ProcessOptions options;
    options.stdinData = stream;
    options.stdinWriteSize = writeSize;
    options.signal = SIGINT;
    options.signalAfterStdinRead = true;
    options.signalAfter = std::chrono::milliseconds(300);
    const std::string log = logOf({"CON"}, options);
    if (stdinLog.empty()) stdinLog = log;
    EXPECT_EQ(log, stdinLog) << "writes of " << writeSize;
  }
  EXPECT_NE(stdinLog.find("DROP : PID"), std::string::npos);
}

// A loop over a source that gives nothing waits between passes: a handful
// in five seconds, next to no CPU, and Ctrl+C still ends it at once.
TEST_F(NativeRun, LoopOverNothingWaitsBetweenPasses) {
  testing::ProcessOptions options;
  options.signal = SIGINT;
  options.signalAfter = std::chrono::milliseconds(5000);
  const auto start = std::chrono::steady_clock::now();
  const auto result = Run({"-nolog", "-noprogress", "-loop", "2"}, options);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result.exitCode, 0);
  const std::size_t passes = Count(result.out, FormatText(text::kMsgFileMissing, "2"));
  EXPECT_GE(passes, 3u);
  EXPECT_LE(passes, 8u);
  EXPECT_LT(result.cpuSeconds, testing::kSanitizerBuild ? 1.0 : 0.1);
  // (A sanitizer build takes about a second more to start and to end.)
  EXPECT_LT(elapsed, std::chrono::milliseconds(testing::kSanitizerBuild ? 7500 : 5600));
}

}  // namespace
}  // namespace kestrun
