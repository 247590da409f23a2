// The tuner with the test driver library loaded by path.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "output/message.h"
#include "platform/platform.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "support/run_flags.h"
#include "support/temp_dir.h"
#include "tuner/bon_driver_tuner.h"
#include "tuner/tuner_test_support.h"

#if defined(TEST_BONDRIVER) && defined(TEST_BONDRIVER_NOEXPORT)

namespace kestrun {
namespace {

using testing::CallLogLines;
using testing::ConsoleCapture;
using testing::DriverConfigScope;
using testing::TempDir;
using Lines = std::vector<std::string>;

std::string StartMessage(bool success, const std::string& path) {
  return FormatText(text::kMsgTunerStart, success ? text::kWordSuccess : text::kWordFailure,
                    path.c_str());
}

std::string EndMessage(const std::string& path) { return FormatText(text::kMsgTunerEnd, path.c_str()); }

class TunerDriver : public ::testing::Test {
 protected:
  // A stream file and a configuration serving it; `extra` adds or overrides keys.
  void Configure(const std::string& stream, const std::string& extra) {
    const std::string file = dir_.Write("stream.ts", stream);
    config_.reset();  // its end clears the environment variable
    config_ = std::make_unique<DriverConfigScope>(
        dir_.File("driver.conf"), "file=" + file + "\ncalllog=" + CallLog() + "\n" + extra);
  }
  std::string CallLog() const { return dir_.File("calls.log"); }

  // Starts the tuner thread and takes bytes like the worker does until
  // `expected` bytes have arrived or the time is up.
  std::string ReceiveThroughThread(CBonDriverTuner& tuner, std::size_t expected,
                                   const std::function<void(std::size_t)>& taken = nullptr) {
    std::string received;
    std::vector<std::uint8_t> room(48128);
    EXPECT_EQ(StartTunerThread(tuner), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (received.size() < expected && std::chrono::steady_clock::now() < deadline) {
      std::uint32_t count = 0;
      if (TakeReceived(tuner, room.data(), static_cast<std::uint32_t>(room.size()), &count)) {
        received.append(reinterpret_cast<const char*>(room.data()), count);
        if (taken) taken(received.size());
      }
    }
    return received;
  }

  TempDir dir_;
  std::unique_ptr<DriverConfigScope> config_;
};

// Open, select, receive and close, one step at a time on this thread: every
// byte of the served file arrives, in order, and the driver sees its calls in
// the expected order.
TEST_F(TunerDriver, SteppedReceiveDeliversTheWholeFile) {
  const std::string stream = testing::BytePattern(188 * 100 + 17);
  Configure(stream, "block=1000\npace_us=0\n");
  ConsoleCapture console;
  CBonDriverTuner tuner;
  FillTunerRecord(tuner, std::string("\\\\.\\bondriver\\3\\13\\") + TEST_BONDRIVER);
  ASSERT_TRUE(OpenTuner(tuner));
  ASSERT_TRUE(tuner.opened);
  ASSERT_NE(tuner.driver2, nullptr);
  tuner.running.store(true);
  std::string received;
  std::uint8_t room[700];
  std::uint32_t count = 0;
  // The fetch that finds the file ended hands the last staged bytes over.
  ReceiveStep step;
  do {
    step = ReceiveOnce(tuner);
    while (TakeReceived(tuner, room, sizeof room, &count)) {
      received.append(reinterpret_cast<const char*>(room), count);
    }
  } while (step == ReceiveStep::Kept);
  EXPECT_EQ(received, stream);
  TeardownTuner(tuner);
  EXPECT_EQ(console.Text(), StartMessage(true, TEST_BONDRIVER) + EndMessage(TEST_BONDRIVER));
  EXPECT_EQ(CallLogLines(CallLog()), (Lines{"CreateBonDriver", "Open", "SelectSpaceChannel 3 13",
                                            "FlushStream", "Close", "Destroy"}));
  EXPECT_FALSE(tuner.loaded || tuner.module || tuner.driver);
}

// The tuner thread against a consumer that keeps up: the driver is held to
// the consumer's pace (one block outstanding at most), so the reception
// buffer never reaches its limit whatever the scheduler does, and every byte
// arrives in order, whatever the driver does while it has nothing to give.
//   plain           | data from the first fetch
//   stall_calls=40  | 40 empty fetches (result 0) first
//   stall_ms=60     | 60 ms of empty fetches (null block) first
//   idle=2          | empty fetches with a zero-length block, then data
TEST_F(TunerDriver, ThreadDeliversEveryByteInOrder) {
  // Holding the library here too keeps its gate alive across the tuner's
  // load and unload.
  const auto library = platform::LoadDynamicLibrary(TEST_BONDRIVER);
  ASSERT_TRUE(library);
  const auto allow = reinterpret_cast<void (*)(std::uint64_t)>(library->Symbol("TestDriverAllow"));
  ASSERT_NE(allow, nullptr);
  const std::string stream = testing::BytePattern(188 * 120);
  const char* variants[] = {"", "stall_calls=40\n", "mode=stall\nstall_ms=60\nidle=1\n",
                            "stall_calls=20\nidle=2\n"};
  for (const char* variant : variants) {
    std::filesystem::remove(CallLog());
    Configure(stream, std::string("block=188\npace_us=200\ngate=1\n") + variant);
    allow(188);
    ConsoleCapture console;
    CBonDriverTuner tuner;
    FillTunerRecord(tuner, std::string("\\\\.\\bondriver\\0\\13\\") + TEST_BONDRIVER);
    const std::string received =
        ReceiveThroughThread(tuner, stream.size(), [&](std::size_t got) { allow(got + 188); });
    TeardownTuner(tuner);
    EXPECT_EQ(received.size(), stream.size()) << variant;
    EXPECT_TRUE(received == stream) << variant;
    EXPECT_EQ(console.Text(), StartMessage(true, TEST_BONDRIVER) + EndMessage(TEST_BONDRIVER))
        << variant;
    // Nothing was dropped, so the only flushes are those around receiving.
    EXPECT_EQ(CallLogLines(CallLog()),
              (Lines{"CreateBonDriver", "Open", "SelectSpaceChannel 0 13", "FlushStream",
                     "FlushStream", "FlushStream", "Close", "Destroy"}))
        << variant;
  }
}

// A consumer that takes nothing for a while, against a limit lowered to 940
// bytes: blocks are appended while fewer bytes wait (five 188-byte blocks),
// every later one is dropped at the source with a flush and counted in the
// discard notices (one at the first drop, the rest when receiving ends), and
// what was appended waits, in order.
TEST_F(TunerDriver, ConsumerThatFallsBehindFindsTheFirstBlocksAndTheRestDropped) {
  constexpr int kBlocks = 60;
  const std::string stream = testing::BytePattern(188 * kBlocks);
  Configure(stream, "block=188\npace_us=0\n");
  ConsoleCapture console;
  CBonDriverTuner tuner;
  FillTunerRecord(tuner, std::string("\\\\.\\bondriver\\0\\13\\") + TEST_BONDRIVER);
  tuner.bufferLimit = 940;
  ASSERT_EQ(StartTunerThread(tuner), 0);
  // Two flushes before receiving, then one per dropped block.
  const auto expectedFlushes = static_cast<std::ptrdiff_t>(2 + kBlocks - 5);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  Lines calls;
  while (std::chrono::steady_clock::now() < deadline) {
    calls = CallLogLines(CallLog());
    // The five kept blocks go over once the driver has nothing more.
    if (std::count(calls.begin(), calls.end(), "FlushStream") >= expectedFlushes &&
        tuner.received.length.load() >= 940) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(std::count(calls.begin(), calls.end(), "FlushStream"), expectedFlushes);
  std::vector<std::uint8_t> room(48128);
  std::uint32_t count = 0;
  ASSERT_TRUE(TakeReceived(tuner, room.data(), static_cast<std::uint32_t>(room.size()), &count));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(room.data()), count), stream.substr(0, 940));
  EXPECT_FALSE(TakeReceived(tuner, room.data(), static_cast<std::uint32_t>(room.size()), &count));
  TeardownTuner(tuner);
  EXPECT_EQ(CallLogLines(CallLog()).back(), "Destroy");
  const auto notice = [](long long bytes) {
    return FormatText(text::kMsgTunerDiscarded, bytes, TEST_BONDRIVER);
  };
  EXPECT_EQ(console.Text(), StartMessage(true, TEST_BONDRIVER) + notice(188) +
                                notice(188 * (kBlocks - 6)) + EndMessage(TEST_BONDRIVER));
}

// The start and end messages come from the tuner thread while the worker
// prints its own lines: over many jobs, neither console nor log loses,
// repeats or tears a line, and each side's lines keep their order.
TEST_F(TunerDriver, MessagesOfTunerThreadAndWorkerAtOnceAllArrive) {
  Configure("", "pace_us=0\n");
  ConsoleCapture console;
  const std::string log = dir_.File("messages.log");
  SetLogTarget(log, kLogAppend);
  std::atomic<bool> stop{false};
  std::atomic<int> written{0};
  std::thread worker([&] {
    for (int n = 0; !stop.load() || n < 200; ++n) {
      WriteMessage("DROP : PID 0x0100 , %d Drop , PCR 0:00:00.000 \r\n", n);
      written.store(n + 1);
    }
  });
  while (written.load() < 50) std::this_thread::yield();
  constexpr int kJobs = 25;
  for (int job = 0; job < kJobs; ++job) {
    CBonDriverTuner tuner;
    FillTunerRecord(tuner, std::string("\\\\.\\bondriver\\0\\13\\") + TEST_BONDRIVER);
    ASSERT_EQ(StartTunerThread(tuner), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    TeardownTuner(tuner);
  }
  stop.store(true);
  worker.join();
  const int lines = written.load();
  const std::string start = StartMessage(true, TEST_BONDRIVER);
  const std::string end = EndMessage(TEST_BONDRIVER);
  for (const std::string& text : {console.Text(), testing::ReadFileBytes(log)}) {
    int next = 0, tunerLines = 0;
    std::size_t at = 0;
    while (at < text.size()) {
      const std::size_t lineEnd = text.find('\n', at);
      ASSERT_NE(lineEnd, std::string::npos) << "torn last line";
      const std::string line = text.substr(at, lineEnd + 1 - at);
      at = lineEnd + 1;
      if (line == (tunerLines % 2 == 0 ? start : end)) {
        ++tunerLines;
        continue;
      }
      ASSERT_EQ(line, FormatText("DROP : PID 0x0100 , %d Drop , PCR 0:00:00.000 \r\n", next))
          << "at byte " << at;
      ++next;
    }
    EXPECT_EQ(next, lines);
    EXPECT_EQ(tunerLines, 2 * kJobs);
  }
}

// Failures of the driver library or object: messages in their order, the
// calls the driver saw, no data, no hang.
//   case            | messages          | calls
//   missing file    | start(failure)    | none
//   no export       | start(failure)    | none
//   factory null    | start(success)    | CreateBonDriver
//   Open returns 0  | end, start(succ.) | CreateBonDriver Open Destroy
//   no IBonDriver2  | start(succ.), end | CreateBonDriver Open Close Destroy
//   served nothing  | start(succ.), end | ... Select, 3 flushes, Close Destroy
//   noprogress      | nothing           | as served nothing
TEST_F(TunerDriver, FailureModesReportInOrderAndReleaseTheDriver) {
  const std::string missing = dir_.File("nothing-here.so");
  const std::string drv = TEST_BONDRIVER;
  const Lines served{"CreateBonDriver", "Open", "SelectSpaceChannel 0 13", "FlushStream",
                     "FlushStream", "FlushStream", "Close", "Destroy"};
  const struct {
    const char* name;
    std::string path;
    std::string config;
    std::uint32_t consoleFlags;
    std::string messages;
    Lines calls;
  } cases[] = {
      {"missing file", missing, "", 0x80000000u, StartMessage(false, missing), {}},
      {"no export", TEST_BONDRIVER_NOEXPORT, "", 0x80000000u,
       StartMessage(false, TEST_BONDRIVER_NOEXPORT), {}},
      {"factory null", drv, "mode=nullfactory\n", 0x80000000u, StartMessage(true, drv),
       {"CreateBonDriver"}},
      {"open fails", drv, "mode=openfail\n", 0x80000000u, EndMessage(drv) + StartMessage(true, drv),
       {"CreateBonDriver", "Open", "Destroy"}},
      {"no extension", drv, "mode=noext\n", 0x80000000u, StartMessage(true, drv) + EndMessage(drv),
       {"CreateBonDriver", "Open", "Close", "Destroy"}},
      {"served nothing", drv, "", 0x80000000u, StartMessage(true, drv) + EndMessage(drv), served},
      {"noprogress", drv, "", 0x80000001u, "", served},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(CallLog());
    DriverConfigScope config(dir_.File("driver.conf"),
                             "calllog=" + CallLog() + "\npace_us=0\n" + c.config);
    ConsoleCapture console(c.consoleFlags);
    CBonDriverTuner tuner;
    FillTunerRecord(tuner, "\\\\.\\bondriver\\0\\13\\" + c.path);
    ASSERT_EQ(StartTunerThread(tuner), 0) << c.name;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::uint8_t room[188];
    std::uint32_t count = 1;
    EXPECT_FALSE(TakeReceived(tuner, room, sizeof room, &count)) << c.name;
    EXPECT_EQ(count, 0u) << c.name;
    TeardownTuner(tuner);
    EXPECT_EQ(console.Text(), c.messages) << c.name;
    EXPECT_EQ(CallLogLines(CallLog()), c.calls) << c.name;
    EXPECT_FALSE(tuner.module) << c.name;
  }
}

// A stop request ends the tuner thread by itself: it flushes, closes and
// destroys the driver and prints the end message once; the teardown then
// only unloads the library.
TEST_F(TunerDriver, StopRequestEndsTheThreadWhichReleasesTheDriverOnce) {
  Configure(testing::BytePattern(188 * 10), "block=188\npace_us=1000\nloop=1\n");
  ConsoleCapture console;
  CBonDriverTuner tuner;
  FillTunerRecord(tuner, std::string("\\\\.\\bondriver\\0\\13\\") + TEST_BONDRIVER);
  ASSERT_FALSE(ReceiveThroughThread(tuner, 188 * 3).empty());
  AbortFlag.store(1);
  tuner.thread.join();  // ends on the stop request alone
  AbortFlag.store(0);
  EXPECT_EQ(tuner.driver, nullptr);
  EXPECT_TRUE(tuner.module != nullptr);
  TeardownTuner(tuner);
  EXPECT_EQ(console.Text(), StartMessage(true, TEST_BONDRIVER) + EndMessage(TEST_BONDRIVER));
  const Lines calls = CallLogLines(CallLog());
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(Lines(calls.end() - 3, calls.end()), (Lines{"FlushStream", "Close", "Destroy"}));
}

// Without the environment variable the driver reads "<its own path>.conf".
TEST_F(TunerDriver, DriverFindsTheConfigurationBesideItself) {
  const std::string copy = dir_.File("copied_driver.so");
  std::filesystem::copy_file(TEST_BONDRIVER, copy);
  dir_.Write("copied_driver.so.conf", "mode=openfail\ncalllog=" + CallLog() + "\n");
  ConsoleCapture console;
  CBonDriverTuner tuner;
  tuner.driverPath = copy;
  EXPECT_TRUE(OpenTuner(tuner));
  EXPECT_FALSE(tuner.opened);
  TeardownTuner(tuner);
  EXPECT_EQ(CallLogLines(CallLog()), (Lines{"CreateBonDriver", "Open", "Destroy"}));
}

// A second job starts from a reset record and loads the library again.
TEST_F(TunerDriver, EachJobLoadsTheLibraryAgain) {
  Configure("", "pace_us=0\n");
  ConsoleCapture console;
  CBonDriverTuner tuner;
  for (int job = 0; job < 2; ++job) {
    FillTunerRecord(tuner, std::string("\\\\.\\bondriver\\0\\13\\") + TEST_BONDRIVER);
    ASSERT_EQ(StartTunerThread(tuner), 0);
    TeardownTuner(tuner);
    EXPECT_EQ(tuner.driverPath, "");
    EXPECT_EQ(tuner.bufferLimit, 16u << 20);
  }
  const Lines calls = CallLogLines(CallLog());
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "CreateBonDriver"), 2);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Destroy"), 2);
}

}  // namespace
}  // namespace kestrun

#endif
