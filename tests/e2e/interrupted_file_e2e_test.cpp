// A file interrupted in the middle of its read, on every build: cut short
// under the reader (the job ends as at a failed read) or stopped with
// Ctrl+C. Either way the job ends in order with its summary and the closing
// line, and no signal ends the process. The file is smaller than one view
// window, so it is read through a view on every machine.
//
// The program is held in the middle of the file by its own output: the
// stream has so many drops that the drop lines fill the console pipe, which
// the test leaves unread until the log has stood still for a while (the
// program waits in a write) and it has cut the file far behind the reader
// or sent the signal.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "e2e/stream_e2e.h"

namespace kestrun {
namespace {

using namespace stream_e2e;
using testing::KestrunBuild;
using testing::TempDir;

// Waits until the file has held at least `atLeast` bytes without growing
// for half a second (or 20 s have passed).
void WaitUntilStill(const std::string& path, std::size_t atLeast) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::size_t last = 0;
  auto since = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < deadline) {
    const std::size_t size = testing::ReadFileBytes(path).size();
    const auto now = std::chrono::steady_clock::now();
    if (size != last) {
      last = size;
      since = now;
    } else if (size >= atLeast && now - since >= std::chrono::milliseconds(500)) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

struct Interruption {
  const char* name;
  bool cut;    // the file is cut to its first page
  int signal;  // else this is sent
};

class InterruptedFileRun : public ::testing::TestWithParam<std::tuple<const char*, Interruption>> {
 protected:
  void SetUp() override { KESTRUN_REQUIRE_BUILD(std::get<0>(GetParam()), build_); }

  KestrunBuild build_;
  TempDir dir_;
};

// The drops of the summary lines, added up.
long long SummaryDrops(const std::string& log) {
  long long total = 0;
  for (std::size_t at = log.find("\r\n0x"); at != std::string::npos; at = log.find("\r\n0x", at + 1)) {
    unsigned pid = 0, counter = 0;
    long long drops = 0;
    if (std::sscanf(log.c_str() + at + 2, "0x%x : 0x%x : %lld Drop", &pid, &counter, &drops) == 3) {
      total += drops;
    }
  }
  return total;
}

TEST_P(InterruptedFileRun, EndsInOrderWithTheSummary) {
  const Interruption& interruption = std::get<1>(GetParam());
  const GeneratedStream stream = Generate(dir_, "cut.ts", {"--seconds", "6", "--loss", "20"});
  ASSERT_FALSE(stream.path.empty());
  ASSERT_LT(stream.bytes.size(), 8u << 20);
  const std::string log = dir_.File("run.log");
  testing::ProcessOptions options;
  options.workingDirectory = dir_.path();
  options.signal = interruption.signal;
  bool held = false;
  options.beforeReading = [&] {
    WaitUntilStill(log, 32 << 10);
    held = !interruption.cut || ::truncate(stream.path.c_str(), 4096) == 0;
  };
  const testing::ProcessResult result =
      build_.Run({"-noprogress", "-logpath", build_.Path(log), build_.Path(stream.path)}, options);
  ASSERT_TRUE(held);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.termSignal, 0);
  // Ended early: fewer drop lines than the stream has drops, then the
  // summary and the closing line with the summary's total.
  const std::string logged = testing::ReadFileBytes(log);
  std::size_t dropLines = 0;
  for (std::size_t at = logged.find("DROP : PID"); at != std::string::npos;
       at = logged.find("DROP : PID", at + 1)) {
    ++dropLines;
  }
  EXPECT_GT(dropLines, 0u);
  EXPECT_LT(dropLines, stream.manifest.drops.size());
  const long long total = SummaryDrops(logged);
  EXPECT_GE(total, static_cast<long long>(dropLines));
  EXPECT_TRUE(logged.ends_with(Closing(static_cast<int>(total)))) << logged.substr(logged.size() - 100);
  EXPECT_TRUE(result.out.ends_with(Closing(static_cast<int>(total))));
  // Natively the status saturates at 255; Wine hands on the low 8 bits of
  // the 32-bit exit code.
  EXPECT_EQ(result.exitCode, build_.windows ? total % 256 : std::min(total, 255LL));
}

constexpr Interruption kCut{"Cut", true, 0};
constexpr Interruption kCtrlC{"CtrlC", false, SIGINT};

INSTANTIATE_TEST_SUITE_P(Builds, InterruptedFileRun,
                         ::testing::Combine(::testing::Values("native", "win64", "win32"),
                                            ::testing::Values(kCut, kCtrlC)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) + std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace kestrun
