// Recorded messages: line ends in the log, a log deleted mid-run, appends
// from two threads, and the switches that keep a message off the console or
// out of the log.
#include "output/message.h"

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "output/console.h"
#include "support/catalog.h"
#include "support/run_flags.h"
#include "support/temp_dir.h"

namespace kestrun {
namespace {

using testing::FileExists;
using testing::ReadFileBytes;
using testing::TempDir;

class CapturingSink : public ByteSink {
 public:
  void Write(const char* bytes, std::size_t count) override { text.append(bytes, count); }
  void Flush() override {}
  std::string text;
};

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedFlags_ = ConsoleFlags.load();
    ConsoleFlags.store(kConsoleOn);
    SetConsoleSink(&console_);
    log_ = dir_.File("run.log");
    SetLogTarget(log_, kLogAppend);
  }
  void TearDown() override {
    SetLogTarget("", 0);
    SetConsoleSink(nullptr);
    ConsoleFlags.store(savedFlags_);
  }

  TempDir dir_;
  CapturingSink console_;
  std::string log_;
  std::uint32_t savedFlags_ = 0;
};

// message            console            log
// "a\n"              "a\n"              "a\n"
// "b"                "b"                "b\r\n"
// "c\r\n"            "c\r\n"            "c\r\n"
// ""                 nothing            nothing
TEST_F(MessageTest, LogEndsEveryMessageWithALineEnd) {
  WriteMessage("%s\n", "a");
  WriteMessageText("b");
  WriteMessageText("c\r\n");
  WriteMessageText("");
  EXPECT_EQ(console_.text, "a\nbc\r\n");
  EXPECT_EQ(ReadFileBytes(log_), "a\nb\r\nc\r\n");
}

TEST_F(MessageTest, DeletedLogIsRecreatedByTheNextMessage) {
  WriteMessageText("first\n");
  ASSERT_EQ(std::remove(log_.c_str()), 0);
  WriteMessageText("second\n");
  EXPECT_EQ(ReadFileBytes(log_), "second\n");
}

TEST_F(MessageTest, SwitchesKeepMessagesOffConsoleOrLog) {
  ConsoleFlags.store(0);
  WriteMessageText("log only\n");
  ConsoleFlags.store(kConsoleOn);
  SetLogTarget(log_, 0);
  WriteMessageText("console only\n");
  EXPECT_EQ(console_.text, "console only\n");
  EXPECT_EQ(ReadFileBytes(log_), "log only\n");
  EXPECT_EQ(LogTarget(), log_);
}

// The first message of each job that misses the log says so once.
TEST_F(MessageTest, LogPathInAMissingFolderLosesOnlyTheLog) {
  const std::string log = dir_.File("missing/run.log");
  const std::string notice = FormatText(text::kMsgLogNotWritable, log.c_str());
  SetLogTarget(log, kLogAppend);
  BeginJobLog();
  WriteMessageText("still shown\n");
  WriteMessageText("again");
  BeginJobLog();
  WriteMessageText("next job\n");
  EXPECT_EQ(console_.text, "still shown\n" + notice + "again" + "next job\n" + notice);
  EXPECT_FALSE(FileExists(log));
}

// Two threads (the worker and the tuner thread) recording at the same moment:
// every line arrives whole, in each thread's own order.
TEST_F(MessageTest, ConcurrentMessagesAreAllRecordedWhole) {
  constexpr int kLines = 500;
  auto writer = [](char tag) {
    for (int i = 0; i < kLines; ++i) WriteMessage("%c%04d", tag, i);
  };
  std::thread first(writer, 'A');
  std::thread second(writer, 'B');
  first.join();
  second.join();

  const std::string log = ReadFileBytes(log_);
  int next[2] = {0, 0};
  std::size_t at = 0;
  while (at < log.size()) {
    const std::size_t end = log.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "unterminated line at " << at;
    const std::string line = log.substr(at, end - at);
    ASSERT_EQ(line.size(), 5u) << "mixed line: " << line;
    const int who = line[0] == 'A' ? 0 : 1;
    EXPECT_EQ(std::stoi(line.substr(1)), next[who]++);
    at = end + 2;
  }
  EXPECT_EQ(next[0], kLines);
  EXPECT_EQ(next[1], kLines);
  EXPECT_EQ(console_.text.size(), static_cast<std::size_t>(2 * kLines * 5));
}

}  // namespace
}  // namespace kestrun
