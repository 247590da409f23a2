// The real program with the test tuner driver as its source: the start and
// end messages, drop lines and summary set against the same stream read as a
// file, the driver's failure modes, the source checks, and the calls the
// driver received (from its call log).
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/stream_e2e.h"
#include "e2e/tuner_report_check.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "support/kestrun_builds.h"
#include "support/stream_builder.h"
#include "support/temp_dir.h"

#if defined(TEST_BONDRIVER) && defined(TEST_BONDRIVER_NOEXPORT)

namespace kestrun {
namespace {

using testing::KestrunBuild;
using testing::ExpectTunerReport;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::ReadFileBytes;
using testing::TempDir;
using Lines = std::vector<std::string>;

const std::string kTunerPrefix = "\\\\.\\bondriver\\";

std::string StartMessage(bool loaded, const std::string& driver) {
  return FormatText(text::kMsgTunerStart, loaded ? text::kWordSuccess : text::kWordFailure,
                    driver.c_str());
}
std::string EndMessage(const std::string& driver) {
  return FormatText(text::kMsgTunerEnd, driver.c_str());
}
using stream_e2e::Closing;

// The text in pieces, each with its line end: "\n", "\r\n", or a lone "\r"
// (the progress line, rewritten in place).
Lines ConsoleRecords(const std::string& text) {
  Lines records;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool loneCr = text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
    if (text[i] == '\n' || loneCr) {
      records.push_back(text.substr(start, i + 1 - start));
      start = i + 1;
    }
  }
  if (start < text.size()) records.push_back(text.substr(start));
  return records;
}

bool IsBlankRecord(const std::string& record) { return record == "\n" || record == "\r\n"; }

// What of a transcript belongs to the record: without progress lines, the
// Ctrl+C notice and the empty lines, which the console alone shows.
std::string RecordedLines(const std::string& text) {
  std::string kept;
  for (const std::string& record : ConsoleRecords(text)) {
    if (record.back() == '\r' || IsBlankRecord(record) || record == text::kMsgCtrlC) continue;
    kept += record;
  }
  return kept;
}

// The calls the driver received.
Lines CallLog(const std::string& path) {
  Lines lines;
  for (std::string record : ConsoleRecords(ReadFileBytes(path))) {
    while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.pop_back();
    lines.push_back(record);
  }
  return lines;
}

int Count(const Lines& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// The calls of a driver that served a stream: created, opened, tuned, then
// nothing but flushes (two before receiving, one after, one per block the
// tuner had no room for) until it is closed and destroyed, once.
// Returns the number of blocks handed out again.
int ExpectServedCalls(const Lines& calls, const std::string& select) {
  EXPECT_GE(calls.size(), 8u);
  if (calls.size() < 8) return -1;
  EXPECT_EQ(Lines(calls.begin(), calls.begin() + 3), (Lines{"CreateBonDriver", "Open", select}));
  EXPECT_EQ(Lines(calls.end() - 2, calls.end()), (Lines{"Close", "Destroy"}));
  const Lines flushes(calls.begin() + 3, calls.end() - 2);
  EXPECT_EQ(Count(flushes, "FlushStream"), static_cast<int>(flushes.size()));
  return static_cast<int>(flushes.size()) - 3;
}

// The file run's log as a tuner run of the same bytes records it: the start
// message first, the DROP header naming the tuner source, the drop lines
// without the byte offset (a tuner has none), the end message before the
// summary block.
std::string TunerLogFromFileLog(const std::string& fileLog, const std::string& fileSource,
                                const std::string& tunerSource, const std::string& driver) {
  const Lines lines = ConsoleRecords(fileLog);
  std::string expected = StartMessage(true, driver);
  std::size_t at = 0;
  if (at < lines.size() && lines[at] == FormatText(text::kFmtDropHeader, fileSource.c_str())) {
    expected += FormatText(text::kFmtDropHeader, tunerSource.c_str());
    ++at;
  }
  for (; at < lines.size() && lines[at].rfind("DROP : ", 0) == 0; ++at) {
    const std::size_t offset = lines[at].rfind(" , +0x");
    expected += offset == std::string::npos ? lines[at] : lines[at].substr(0, offset) + " \r\n";
  }
  expected += EndMessage(driver);
  for (; at < lines.size(); ++at) expected += lines[at];
  return expected;
}

// The PIDs of a stream of 188-byte packets.
std::set<int> PidsOf(const std::string& stream) {
  std::set<int> pids;
  for (std::size_t at = 0; at + 188 <= stream.size(); at += 188) {
    if (stream[at] == 0x47) pids.insert(((stream[at + 1] & 0x1F) << 8) | (stream[at + 2] & 0xFF));
  }
  return pids;
}

// Two packets of a PID the stream lacks, the second a drop: its drop line
// shows that the worker has been through the last packet.
std::string EndMarker(const std::string& stream, int* pid) {
  *pid = 0x1FF0;
  const std::set<int> pids = PidsOf(stream);
  while (pids.count(*pid) != 0) --*pid;
  return testing::PacketsWithCc(static_cast<std::uint16_t>(*pid), {0, 2});
}

class TunerRun : public ::testing::Test {
 protected:
  void SetUp() override { build_.exe = KESTRUN_BIN; }

  std::string Driver() const { return driver_.empty() ? build_.TestDriver() : driver_; }
  std::string Source(const std::string& driver, const std::string& numbers = "0\\13\\") const {
    return kTunerPrefix + numbers + build_.Path(driver);
  }
  std::string CallLogPath() const { return dir_.File("calls.log"); }

  // Options that point the driver at a configuration with these keys (and
  // the call log), running in the test's folder.
  ProcessOptions DriverOptions(const std::string& keys) {
    const std::string config =
        dir_.Write("driver.conf", keys + "calllog=" + build_.Path(CallLogPath()) + "\n");
    ProcessOptions options;
    options.env.emplace_back("KESTRUN_TEST_DRIVER_CONFIG", build_.Path(config));
    options.workingDirectory = dir_.path();
    options.timeout = std::chrono::milliseconds(180000);
    return options;
  }

  // Serves the stream in blocks of 16 packets, about one per millisecond. A
  // block the tuner had no room for is handed out again, so no scheduling of
  // the worker can lose data at the source and the run is comparable with
  // the file byte for byte.
  std::string ServingKeys(const std::string& stream, const std::string& extra = "") {
    return "file=" + build_.Path(stream) + "\nblock=3008\npace_us=1000\nresend=1\n" + extra;
  }

  ProcessResult Run(const std::vector<std::string>& args, ProcessOptions options) const {
    return build_.Run(args, options);
  }

  // The reference: the stream read as a file, its log and exit code.
  ProcessResult FileRun(const std::string& stream, const std::vector<std::string>& options,
                        std::string* log) {
    std::vector<std::string> args = {"-noprogress", "-logpath", build_.Path(dir_.File("file.log"))};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(build_.Path(stream));
    ProcessOptions run;
    run.workingDirectory = dir_.path();
    run.timeout = std::chrono::milliseconds(180000);
    const ProcessResult result = Run(args, run);
    *log = ReadFileBytes(dir_.File("file.log"));
    return result;
  }

  // A generated stream with drops on video and audio inside its first 2 s.
  std::string GeneratedStream(const std::string& name) {
#if defined(TSGEN_BIN)
    const std::string path = dir_.File(name);
    const ProcessResult made = testing::RunProcess(
        {TSGEN_BIN, "-q", "-s", "3", "-r", "2M", "--video", "0x0111:0x02:1M", "--drop",
         "0x0111@100", "--drop", "0x0112@20,2", "--drop", "0x0111@1200", "-o", path});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return path;
#else
    (void)name;
    return {};
#endif
  }

  // Checks a tuner run against the file run of the same stream: the log as
  // the tuner records it, the console carrying every recorded line, the
  // exit code, and the driver's calls. Returns the blocks handed out again.
  int ExpectSameAsFileRun(const ProcessResult& tuner, const std::string& tunerLog,
                          const ProcessResult& file, const std::string& fileLog,
                          const std::string& stream, const std::string& source) {
    EXPECT_FALSE(tuner.timedOut);
    EXPECT_EQ(tuner.termSignal, 0);
    EXPECT_GT(file.exitCode, 0);
    EXPECT_EQ(tuner.exitCode, file.exitCode);
    EXPECT_EQ(tunerLog,
              TunerLogFromFileLog(fileLog, build_.Path(stream), source, build_.Path(Driver())));
    EXPECT_EQ(RecordedLines(tuner.out), RecordedLines(tunerLog));
    const int retried = ExpectServedCalls(CallLog(CallLogPath()), "SelectSpaceChannel 0 13");
    ::testing::Test::RecordProperty("blocks_handed_out_again", retried);
    return retried;
  }

  void ExpectCtrlCRunLikeFileRun(const std::string& bytes);

  KestrunBuild build_;
  std::string driver_;  // the driver to run, when not the build's own test driver
  TempDir dir_;
};

// A build's name, followed by " msvc" for a run with the MSVC-ABI test
// driver of a Windows build (whose objects carry MSVC type information, as
// real drivers' do) instead of the test driver built with the program.
class TunerRunOnEveryBuild : public TunerRun, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    const std::string param = GetParam();
    const bool msvc = param.ends_with(" msvc");
    KESTRUN_REQUIRE_BUILD(param.substr(0, param.find(' ')), build_);
    if (msvc) driver_ = build_.MsvcTestDriver();
    if (!Driver().empty()) return;
    if (msvc && std::getenv("KESTRUN_REQUIRE_WINDOWS") != nullptr) {
      FAIL() << "MSVC-ABI test driver missing beside " << build_.exe << " (clang or lld-link?)";
    }
    GTEST_SKIP() << "no test driver beside " << build_.exe;
  }
};

// A run ended by its -duration window: the same packets as the file run
// with that window, so the same drops and the same summary; the start
// message comes before the first drop line, the end message before the
// summary. However the blocks come, none is lost at the source: the driver
// is flushed only around receiving.
//   block=3008  | a block every millisecond
//   burst=50    | 50 blocks of 3008 bytes at once, every 50 ms
//   block=1000  | blocks that are not whole packets
TEST_P(TunerRunOnEveryBuild, DurationEndedRunRecordsWhatTheFileRunRecords) {
#if !defined(TSGEN_BIN)
  GTEST_SKIP() << "tsgen not built";
#else
  const std::string stream = GeneratedStream("stream.ts");
  std::string fileLog;
  const ProcessResult file = FileRun(stream, {"-duration", "2"}, &fileLog);
  const std::string source = Source(Driver());
  for (const char* keys : {"block=3008\npace_us=1000\n", "block=3008\npace_us=1000\nburst=50\n",
                           "block=1000\npace_us=300\n"}) {
    std::remove(CallLogPath().c_str());
    const std::string log = dir_.File("tuner.log");
    const std::string report = dir_.File("report.json");
    std::remove(log.c_str());
    std::remove(report.c_str());
    const ProcessResult tuner = Run({"-duration", "2", "-logpath", build_.Path(log), "-jsonpath",
                                     build_.Path(report), source},
                                    DriverOptions("file=" + build_.Path(stream) + "\n" + keys));
    EXPECT_EQ(ExpectSameAsFileRun(tuner, ReadFileBytes(log), file, fileLog, stream, source), 0)
        << keys;
    ExpectTunerReport(report, "window", tuner.exitCode, ReadFileBytes(log));
    EXPECT_EQ(tuner.out.rfind(StartMessage(true, build_.Path(Driver())), 0), 0u) << tuner.out;
  }
#endif
}

// Open returning 0: the driver object is destroyed at once, so the end
// message comes before the start message; no data, no channel selected.
// -duration 0 ends the run at its first pass.
TEST_P(TunerRunOnEveryBuild, OpenFailureEndsBeforeItStarts) {
  const std::string driver = build_.Path(Driver());
  const std::string log = dir_.File("tuner.log");
  const ProcessResult result = Run({"-duration", "0", "-logpath", build_.Path(log), Source(Driver())},
                                   DriverOptions("mode=openfail\n"));
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0);
  const std::string messages = EndMessage(driver) + StartMessage(true, driver);
  EXPECT_EQ(ReadFileBytes(log), messages + Closing(0));
  EXPECT_EQ(result.out, messages + "\n" + Closing(0));
  EXPECT_EQ(CallLog(CallLogPath()), (Lines{"CreateBonDriver", "Open", "Destroy"}));
}

// A run ended by Ctrl+C once the tuner has handed over the whole stream
// records what the file run records.
TEST_P(TunerRunOnEveryBuild, CtrlCEndedRunRecordsWhatTheFileRunRecords) {
#if !defined(TSGEN_BIN)
  GTEST_SKIP() << "tsgen not built";
#else
  ExpectCtrlCRunLikeFileRun(ReadFileBytes(GeneratedStream("generated.ts")));
#endif
}

// An object without IBonDriver2, whichever compiler made it: opened, no
// channel selected, nothing fetched; the tuner thread closes and destroys
// it, and the run goes on until it is stopped.
TEST_P(TunerRunOnEveryBuild, ObjectWithoutTheExtendedInterfaceIsReleasedAndTheRunGoesOn) {
  const std::string driver = build_.Path(Driver());
  const std::string log = dir_.File("tuner.log");
  const std::string messages = StartMessage(true, driver) + EndMessage(driver);
  ProcessOptions options = DriverOptions("mode=noext\n");
  options.signal = SIGINT;
  options.signalWhen = messages;
  const ProcessResult result = Run({"-logpath", build_.Path(log), Source(Driver())}, options);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.termSignal, 0);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(ReadFileBytes(log), messages + Closing(0));
  EXPECT_EQ(result.out, messages + text::kMsgCtrlC + "\n" + Closing(0));
  EXPECT_EQ(CallLog(CallLogPath()), (Lines{"CreateBonDriver", "Open", "Close", "Destroy"}));
}

INSTANTIATE_TEST_SUITE_P(Builds, TunerRunOnEveryBuild,
                         ::testing::Values("native", "win64", "win32", "win64 msvc", "win32 msvc"));

// The rest runs on the native build only: the behaviour is shared code.
using NativeTunerRun = TunerRun;

// A run ended by Ctrl+C once the tuner has handed over the whole stream
// (the drop line of a marker after its last packet is out): the same drop
// lines and summary as the file, the end message (printed by the tuner thread
// on the stop request) before the summary, the drop total as exit code.
void TunerRun::ExpectCtrlCRunLikeFileRun(const std::string& bytes) {
  int pid = 0;
  const std::string stream = dir_.Write("stream.ts", bytes + EndMarker(bytes, &pid));
  std::string fileLog;
  const ProcessResult file = FileRun(stream, {}, &fileLog);
  const std::size_t lastDrop = fileLog.find(FormatText("DROP : PID 0x%04X , 1 Drop , ", pid));
  ASSERT_NE(lastDrop, std::string::npos) << fileLog;
  const std::string markerLine =
      fileLog.substr(lastDrop, fileLog.find(" , +0x", lastDrop) - lastDrop);
  const std::string source = Source(Driver());
  const std::string log = dir_.File("tuner.log");
  ProcessOptions options = DriverOptions(ServingKeys(stream));
  options.signal = SIGINT;
  options.signalWhen = markerLine;
  const std::string report = dir_.File("report.json");
  const ProcessResult tuner =
      Run({"-logpath", build_.Path(log), "-jsonpath", build_.Path(report), source}, options);
  ExpectSameAsFileRun(tuner, ReadFileBytes(log), file, fileLog, stream, source);
  ExpectTunerReport(report, "stop", tuner.exitCode, ReadFileBytes(log));
  EXPECT_NE(tuner.out.find(text::kMsgCtrlC), std::string::npos);
}

// The same with a real broadcast capture (a service cut to 5 s, four drops).
TEST_F(NativeTunerRun, CtrlCEndedRunOfARealCaptureRecordsWhatTheFileRunRecords) {
  const std::string sample =
      std::string(KESTRUN_SAMPLES_DIR) + "/tsduck-test/reference/test-206/test-206.1.ts";
  if (!testing::FileExists(sample)) {
    GTEST_SKIP() << "samples folder absent (" << sample << "): real-stream case not run";
  }
  ExpectCtrlCRunLikeFileRun(ReadFileBytes(sample));
}

// A driver built with hidden visibility keeps its type information to
// itself; its extended interface is found all the same (the channel is
// selected).
TEST_F(NativeTunerRun, DriverWithHiddenVisibilityGetsItsChannelSelected) {
#if !defined(TEST_BONDRIVER_HIDDEN)
  GTEST_SKIP() << "hidden-visibility test driver not built";
#else
  const std::string drv = TEST_BONDRIVER_HIDDEN;
  const ProcessResult result = Run({"-duration", "0", Source(drv)}, DriverOptions(""));
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.out, StartMessage(true, drv) + EndMessage(drv) + "\n" + Closing(0));
  const Lines calls = CallLog(CallLogPath());
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[2], "SelectSpaceChannel 0 13");
#endif
}

// FetchStream handing out nothing for a while, in each of its forms, is
// retried at once and reported nowhere; the data that follows is complete.
//   stall_ms=700 idle=0   | result 0
//   stall_calls=300 idle=2| result 1 with a zero-length block
TEST_F(NativeTunerRun, DriverThatHandsOutNothingForAWhileLosesNothing) {
#if !defined(TSGEN_BIN)
  GTEST_SKIP() << "tsgen not built";
#else
  const std::string stream = GeneratedStream("stream.ts");
  std::string fileLog;
  const ProcessResult file = FileRun(stream, {"-duration", "2"}, &fileLog);
  for (const char* stall : {"mode=stall\nstall_ms=700\nidle=0\n", "stall_calls=300\nidle=2\n"}) {
    std::remove(CallLogPath().c_str());
    const std::string log = dir_.File("tuner.log");
    std::remove(log.c_str());
    const std::string source = Source(TEST_BONDRIVER);
    const ProcessResult tuner =
        Run({"-duration", "2", "-logpath", log, source}, DriverOptions(ServingKeys(stream, stall)));
    ExpectSameAsFileRun(tuner, ReadFileBytes(log), file, fileLog, stream, source);
  }
#endif
}

// Driver failures, each run until Ctrl+C once its last message is out: the
// messages in their order, the driver's calls, no data, no hang.
//   case            | messages           | driver calls
//   no export       | start(failure)     | none
//   factory null    | start(success)     | CreateBonDriver
//   Open returns 0  | end, start(success)| CreateBonDriver Open Destroy
//   no IBonDriver2  | start(success), end| CreateBonDriver Open Close Destroy
TEST_F(NativeTunerRun, DriverFailuresReportInOrderAndReleaseTheDriver) {
  const std::string drv = TEST_BONDRIVER;
  const std::string noExport = TEST_BONDRIVER_NOEXPORT;
  const struct {
    const char* name;
    std::string driver;
    std::string keys;
    std::string messages;
    Lines calls;
  } cases[] = {
      {"no export", noExport, "", StartMessage(false, noExport), {}},
      {"factory null", drv, "mode=nullfactory\n", StartMessage(true, drv), {"CreateBonDriver"}},
      {"open fails", drv, "mode=openfail\n", EndMessage(drv) + StartMessage(true, drv),
       {"CreateBonDriver", "Open", "Destroy"}},
      {"no extension", drv, "mode=noext\n", StartMessage(true, drv) + EndMessage(drv),
       {"CreateBonDriver", "Open", "Close", "Destroy"}},
  };
  for (const auto& c : cases) {
    std::remove(CallLogPath().c_str());
    const std::string log = dir_.File("tuner.log");
    std::remove(log.c_str());
    ProcessOptions options = DriverOptions(c.keys);
    options.signal = SIGINT;
    options.signalWhen = c.messages;
    const ProcessResult result = Run({"-logpath", log, Source(c.driver)}, options);
    EXPECT_FALSE(result.timedOut) << c.name;
    EXPECT_EQ(result.termSignal, 0) << c.name;
    EXPECT_EQ(result.exitCode, 0) << c.name;
    EXPECT_EQ(ReadFileBytes(log), c.messages + Closing(0)) << c.name;
    EXPECT_EQ(result.out, c.messages + text::kMsgCtrlC + "\n" + Closing(0)) << c.name;
    EXPECT_EQ(CallLog(CallLogPath()), c.calls) << c.name;
  }
}

// Source texts refused before any job starts: one message naming the text
// up to its first ';', nothing loaded, exit code 0.
//   \\.\bondriver\\13\drv.dll        | no space
//   \\.\bondriver\0                  | no channel
//   \\.\bondriver\0\13\              | no driver
//   \\.\bondriver\0\13\MISSING;x     | no driver, shown without ";x"
//   \\.\BonDriver\0\13\drv.dll       | the prefix is compared case-sensitively:
//                                    | a file name, and no such file
TEST_F(NativeTunerRun, SourceTextsAreCheckedBeforeTheJob) {
  const std::string missing = dir_.File("missing.so");
  const struct {
    std::string source;
    std::string message;
  } cases[] = {
      {kTunerPrefix + "\\13\\drv.dll",
       FormatText(text::kMsgTunerNoSpace, (kTunerPrefix + "\\13\\drv.dll").c_str())},
      {kTunerPrefix + "0", FormatText(text::kMsgTunerNoChannel, (kTunerPrefix + "0").c_str())},
      {kTunerPrefix + "0\\13\\",
       FormatText(text::kMsgTunerNoDriver, (kTunerPrefix + "0\\13\\").c_str())},
      {kTunerPrefix + "0\\13\\" + missing + ";x",
       FormatText(text::kMsgTunerNoDriver, (kTunerPrefix + "0\\13\\" + missing).c_str())},
      {"\\\\.\\BonDriver\\0\\13\\drv.dll",
       FormatText(text::kMsgFileMissing, "\\\\.\\BonDriver\\0\\13\\drv.dll")},
  };
  for (const auto& c : cases) {
    std::remove(CallLogPath().c_str());
    const ProcessResult result = Run({c.source}, DriverOptions(""));
    EXPECT_FALSE(result.timedOut) << c.source;
    EXPECT_EQ(result.exitCode, 0) << c.source;
    EXPECT_EQ(result.out, c.message + Closing(0)) << c.source;
    EXPECT_FALSE(testing::FileExists(CallLogPath())) << c.source;
  }
}

// With the capital letters the text is a file name through and through: on
// POSIX a backslash is an ordinary file-name byte, so a transport stream of
// that very name is read as a file, with its log beside it.
TEST_F(NativeTunerRun, CapitalisedPrefixNamesAFile) {
  const std::string name = "\\\\.\\BonDriver\\0\\13\\drv.dll";
  dir_.Write(name, testing::CleanPackets(0x100, 5));
  const ProcessResult result = Run({"-noprogress", name}, DriverOptions(""));
  EXPECT_EQ(result.exitCode, 0);
  const std::string block = FormatText(text::kFmtDropHeader, name.c_str()) +
                            FormatText(text::kFmtPidSummary, 0x100, 4, 0LL, "", 5LL, "") + "\r\n";
  EXPECT_EQ(result.out, "\n" + block + Closing(0));
  EXPECT_EQ(ReadFileBytes(dir_.File("\\\\.\\BonDriver\\0\\13\\drv.kestrun.log")), block + Closing(0));
  EXPECT_FALSE(testing::FileExists(CallLogPath()));
}

// The driver path ends at the first ';'; the numbers are read like strtol:
// "abc" selects space 0, "-1" channel 4294967295.
TEST_F(NativeTunerRun, DriverPathEndsAtTheSemicolonAndNumbersAreReadLikeStrtol) {
  const std::string drv = TEST_BONDRIVER;
  const ProcessResult result =
      Run({"-duration", "0", Source(drv, "abc\\-1\\") + ";C:\\elsewhere.dll"}, DriverOptions(""));
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, StartMessage(true, drv) + EndMessage(drv) + "\n" + Closing(0));
  const Lines calls = CallLog(CallLogPath());
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[2], "SelectSpaceChannel 0 4294967295");
  EXPECT_EQ(Count(calls, "Destroy"), 1);
}

}  // namespace
}  // namespace kestrun

#endif
