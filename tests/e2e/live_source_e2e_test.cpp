// Live sources: stop requests seen at once while the worker waits for data,
// and a real Windows named pipe written by a recorder-like writer under Wine.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/stream_e2e.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "support/kestrun_builds.h"
#include "support/stream_builder.h"
#include "support/temp_dir.h"

#if defined(TSGEN_BIN)

namespace kestrun {
namespace {

using namespace std::chrono_literals;
using testing::KestrunBuild;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::ReadFileBytes;
using testing::TempDir;

// The file run's log as a run of the same bytes from another source records
// it: the DROP header names that source and the drop lines have no byte
// offset or percentage (only files have them).
std::string WithoutFilePositions(const std::string& fileLog, const std::string& fileSource,
                                 const std::string& source) {
  std::string expected;
  std::size_t start = 0;
  while (start < fileLog.size()) {
    std::size_t end = fileLog.find('\n', start);
    end = end == std::string::npos ? fileLog.size() : end + 1;
    std::string line = fileLog.substr(start, end - start);
    start = end;
    if (line == FormatText(text::kFmtDropHeader, fileSource.c_str())) {
      line = FormatText(text::kFmtDropHeader, source.c_str());
    } else if (line.rfind("DROP : ", 0) == 0) {
      const std::size_t offset = line.rfind(" , +0x");
      if (offset != std::string::npos) line = line.substr(0, offset) + " \r\n";
    }
    expected += line;
  }
  return expected;
}

// Ends within the designed waits (the longest is the pipe's 333 ms step).
constexpr auto kPromptStop = 2000ms;

// A stop request while the worker waits for data ends the run at once:
//   tuner  | a driver that hands out nothing
//   CON    | standard input at its end
//   pipe   | a pipe whose writer has not appeared yet
TEST(LiveSourceStop, StopIsSeenAtOnceWhileTheWorkerWaits) {
  TempDir dir;
  const std::string config = dir.Write("driver.conf", "mode=stall\nstall_ms=600000\n");
  const struct {
    const char* name;
    std::vector<std::string> args;
    bool stdinData;
  } cases[] = {
      {"tuner", {std::string("\\\\.\\bondriver\\0\\13\\") + TEST_BONDRIVER}, false},
      {"CON", {"CON"}, true},
      {"pipe", {"\\\\.\\pipe\\kestrun-nobody-" + std::to_string(::getpid())}, false},
  };
  KestrunBuild build;
  build.exe = KESTRUN_BIN;
  for (const auto& c : cases) {
    ProcessOptions options;
    options.workingDirectory = dir.path();
    options.env.emplace_back("KESTRUN_TEST_DRIVER_CONFIG", config);
    if (c.stdinData) options.stdinData = testing::CleanPackets(0x100, 50);
    options.signal = SIGINT;
    options.signalAfter = 700ms;
    // With progress on, the stop is acknowledged by the Ctrl+C notice.
    std::vector<std::string> args = {"-nolog"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult result = build.Run(args, options);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(result.timedOut) << c.name;
    EXPECT_EQ(result.exitCode, 0) << c.name;
    EXPECT_NE(result.out.find(text::kMsgCtrlC), std::string::npos) << c.name << result.out;
    EXPECT_LT(took, options.signalAfter + kPromptStop) << c.name;
  }
}

// ------------------------------------------------------------ Windows named pipe

class WindowsNamedPipe : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    KESTRUN_REQUIRE_BUILD(GetParam(), build_);
    writer_ = build_;
    writer_.exe = std::filesystem::path(build_.exe).parent_path().string() +
                  "/tools/pipe_writer/pipe_writer.exe";
    if (!testing::FileExists(writer_.exe)) GTEST_SKIP() << "no pipe writer beside " << build_.exe;
    stream_ = stream_e2e::Generate(dir_, "stream.ts",
                                   {"-s", "3", "-r", "2M", "--video", "0x0111:0x02:1M", "--drop", "0x0111@100", "--drop",
                                    "0x0112@20,2", "--drop", "0x0111@1200"});
    ASSERT_FALSE(stream_.path.empty());
  }

  ProcessOptions Options() const {
    ProcessOptions options;
    options.workingDirectory = dir_.path();
    options.timeout = 120s;
    return options;
  }

  std::string PipeName(const char* what) const {
    return std::string("kestrun-") + GetParam() + "-" + what + "-" + std::to_string(::getpid());
  }

  // Runs the writer on its own thread while the program reads the pipe.
  ProcessResult RunWithWriter(const std::string& name, const std::vector<std::string>& writerArgs,
                              const std::vector<std::string>& args, const ProcessOptions& options,
                              ProcessResult* writer) {
    std::vector<std::string> argv = {name, build_.Path(stream_.path)};
    argv.insert(argv.end(), writerArgs.begin(), writerArgs.end());
    std::thread writing([&] { *writer = writer_.Run(argv, Options()); });
    const ProcessResult result = build_.Run(args, options);
    writing.join();
    return result;
  }

  KestrunBuild build_;
  KestrunBuild writer_;
  TempDir dir_;
  stream_e2e::GeneratedStream stream_;
};

// A number of the writer's last line ("written=... max_write_us=...
// slow_writes=..."); -1 when it is missing.
long long WriterFigure(const std::string& out, const std::string& key) {
  const std::size_t at = out.find(key + "=");
  return at == std::string::npos ? -1 : std::atoll(out.c_str() + at + key.size() + 1);
}

// A recorder writing 48128-byte blocks into a 64 KiB pipe: the record equals
// the file run's, and the writer is not held up by the reader's waits.
//   paced        | a write every 5 ms
//   bursts       | eight writes at once, every 40 ms
//   late writer  | the pipe appears 1.5 s after the program started: the
//                | connect retries pick it up
TEST_P(WindowsNamedPipe, ReportEqualsTheFileRunAndTheWriterIsNotHeldUp) {
  const std::string fileLog = dir_.File("file.log");
  const ProcessResult file =
      build_.Run({"-noprogress", "-logpath", build_.Path(fileLog), build_.Path(stream_.path)}, Options());
  ASSERT_GT(file.exitCode, 0);
  const struct {
    const char* name;
    std::vector<std::string> writerArgs;
  } cases[] = {
      {"paced", {"--pace-us", "5000"}},
      {"bursts", {"--pace-us", "5000", "--burst", "8"}},
      {"late", {"--pace-us", "5000", "--delay-ms", "1500"}},
  };
  for (const auto& c : cases) {
    const std::string source = "\\\\.\\pipe\\" + PipeName(c.name);
    const std::string log = dir_.File(std::string(c.name) + ".log");
    ProcessResult writer;
    const ProcessResult run = RunWithWriter(
        PipeName(c.name), c.writerArgs, {"-noprogress", "-logpath", build_.Path(log), source},
        Options(), &writer);
    EXPECT_FALSE(run.timedOut) << c.name;
    EXPECT_EQ(run.exitCode, file.exitCode) << c.name;
    EXPECT_EQ(ReadFileBytes(log),
              WithoutFilePositions(ReadFileBytes(fileLog), build_.Path(stream_.path), source))
        << c.name;
    EXPECT_EQ(writer.exitCode, 0) << c.name << writer.err;
    // A reader that slept 100 ms whenever the pipe was empty held up about
    // every other write that long; one slow write is left to the scheduler
    // of a loaded machine.
    const long long slow = WriterFigure(writer.out, "slow_writes");
    EXPECT_GE(slow, 0) << c.name << writer.out;
    EXPECT_LE(slow, 1) << c.name << writer.out;
    ::testing::Test::RecordProperty(std::string("max_write_us_") + c.name,
                                    std::to_string(WriterFigure(writer.out, "max_write_us")));
  }
}

// A writer that stalls mid-stream: Ctrl+C ends the run in order while the
// program waits for data.
TEST_P(WindowsNamedPipe, CtrlCEndsARunWhoseWriterStalled) {
  ProcessOptions options = Options();
  options.signal = SIGINT;
  options.signalAfter = 5s;
  ProcessResult writer;
  const ProcessResult run = RunWithWriter(
      PipeName("stall"), {"--stall-after", "200000", "--stall-ms", "8000"},
      {"-nolog", "\\\\.\\pipe\\" + PipeName("stall")}, options, &writer);
  EXPECT_FALSE(run.timedOut);
  const std::size_t notice = run.out.find(text::kMsgCtrlC);
  ASSERT_NE(notice, std::string::npos) << run.out;
  EXPECT_NE(run.out.find(FormatText(text::kMsgClosing, run.exitCode), notice), std::string::npos)
      << run.out;
  EXPECT_NE(writer.out.find("connected"), std::string::npos) << writer.err;
}

INSTANTIATE_TEST_SUITE_P(Builds, WindowsNamedPipe, ::testing::Values("win64", "win32"));

}  // namespace
}  // namespace kestrun

#endif
