// The real program stopped from outside: Ctrl+C and the closing of the
// console (signals on POSIX), the process-id and pause prompts on a terminal,
// and the clean-up of leftover temporary files at exit.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/stream_e2e.h"
#include "platform/posix/cp932_display.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "support/kestrun_builds.h"
#include "support/stream_builder.h"
#include "support/temp_dir.h"

namespace kestrun {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::ConvertCp932ToUtf8;
using platform::IsValidUtf8;
using testing::KestrunBuild;
using testing::PacketsWithCc;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::ReadFileBytes;
using testing::TempDir;

constexpr char kCtrlC[] = "\x03";

using stream_e2e::Closing;
using stream_e2e::SummaryBlock;
using stream_e2e::SummaryLine;

// 1200 packets of PID 0x0300 with one packet lost after packet 100 and one
// after packet 700: two drops, both before the first progress line (1001
// passes), and more data than a pipe holds, so the program must be reading.
struct LossyStream {
  std::string bytes;
  int lastCc = 0;
  static constexpr int kPackets = 1200;
  static constexpr int kDrops = 2;
};

LossyStream MakeLossyStream() {
  std::vector<int> counters;
  int cc = 0;
  for (int i = 0; i < LossyStream::kPackets; ++i) {
    if (i == 100 || i == 700) cc = (cc + 1) & 0x0F;
    counters.push_back(cc);
    cc = (cc + 1) & 0x0F;
  }
  return {PacketsWithCc(0x300, counters), counters.back()};
}

std::string LossySummary(const std::string& source, const LossyStream& stream) {
  return SummaryBlock(source, SummaryLine(0x300, stream.lastCc, LossyStream::kDrops,
                                          LossyStream::kPackets));
}

// True when all that stands before the notice at `noticeAt` is progress
// lines ("－ ...\r", no line feed), or nothing where no terminal shows them.
bool OnlyProgressBefore(const std::string& out, std::size_t noticeAt, bool terminal) {
  const std::string before = out.substr(0, noticeAt);
  if (!terminal) return before.empty();
  return !before.empty() && before.rfind("\x81\x7C ", 0) == 0 && before.back() == '\r' &&
         before.find('\n') == std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

class ConsoleRun : public ::testing::Test {
 protected:
  void SetUp() override { build_.exe = KESTRUN_BIN; }

  ProcessResult Run(const std::vector<std::string>& args, ProcessOptions options = {}) {
    if (options.workingDirectory.empty()) options.workingDirectory = dir_.path();
    // The clean-up at exit works on this folder, never on the real one
    // (unless the test names another: later entries win).
    options.env.insert(options.env.begin(), {"TMPDIR", dir_.path()});
    return build_.Run(args, options);
  }

  KestrunBuild build_;
  TempDir dir_;
};

// ------------------------------------------------------------ stop signals

// A CON run fed through a pipe; the signal comes once the program has read
// everything (the pipe stays open unless noted, so the run waits for more).
//
// signal  | noprogress | stdin     | notice          | then
// SIGINT  | no         | open      | Ctrl+C          | summary, closing, exit 2
// SIGINT  | yes        | open      | none            | the same
// SIGINT  | no         | at end    | Ctrl+C          | the same (CON polls at its end)
// SIGHUP  | no         | open      | console closed  | the same
// SIGTERM | no         | open      | console closed  | the same
// SIGTERM | yes        | open      | none            | the same
struct StopCase {
  const char* name;
  int signal;
  bool noProgress;
  bool stdinOpen;
  const char* notice;  // null: none expected
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class ConStop : public ConsoleRun, public ::testing::WithParamInterface<StopCase> {};

TEST_P(ConStop, EndsTheRunInOrder) {
  const StopCase& c = GetParam();
  const LossyStream stream = MakeLossyStream();
  ProcessOptions options;
  options.stdinData = stream.bytes;
  options.keepStdinOpen = c.stdinOpen;
  options.signal = c.signal;
  options.signalAfterStdinRead = true;
  options.signalAfter = 500ms;
  std::vector<std::string> args = {"-logpath", dir_.File("run.log"), "CON"};
  if (c.noProgress) args.insert(args.begin(), "-noprogress");

  const ProcessResult result = Run(args, options);

  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.termSignal, 0);
  EXPECT_EQ(result.exitCode, LossyStream::kDrops);
  const std::string tail = "\n" + LossySummary("CON", stream) + Closing(LossyStream::kDrops);
  if (c.notice == nullptr) {
    EXPECT_EQ(result.out, tail);
  } else {
    const std::size_t noticeAt = result.out.find(c.notice);
    ASSERT_NE(noticeAt, std::string::npos) << result.out;
    EXPECT_TRUE(OnlyProgressBefore(result.out, noticeAt, false)) << result.out;
    EXPECT_EQ(result.out.substr(noticeAt), c.notice + tail);
  }
  // Notices and progress lines are console-only.
  EXPECT_EQ(ReadFileBytes(dir_.File("run.log")),
            LossySummary("CON", stream) + Closing(LossyStream::kDrops));
}

INSTANTIATE_TEST_SUITE_P(
    Signals, ConStop,
    ::testing::Values(StopCase{"CtrlC", SIGINT, false, true, text::kMsgCtrlC},
                      StopCase{"CtrlCNoProgress", SIGINT, true, true, nullptr},
                      StopCase{"CtrlCAtEndOfInput", SIGINT, false, false, text::kMsgCtrlC},
                      StopCase{"HangUp", SIGHUP, false, true, text::kMsgConsoleClosed},
                      StopCase{"Terminate", SIGTERM, false, true, text::kMsgConsoleClosed},
                      StopCase{"TerminateNoProgress", SIGTERM, true, true, nullptr}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

// Writes `data` into a FIFO without ever blocking for good: gives up when
// `stop` is set (the program has ended and nobody reads any more).
void Feed(int fd, const std::string& data, const std::atomic<bool>& stop) {
  std::size_t done = 0;
  while (done < data.size() && !stop.load()) {
    pollfd entry{fd, POLLOUT, 0};
    if (::poll(&entry, 1, 100) <= 0) continue;
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    }
  }
}

// The first source is a FIFO whose writer stays: a read waits there until it
// is stopped. Ctrl+C during that first source of an endless loop ends the
// pass and the loop: the second source never runs.
TEST_F(ConsoleRun, CtrlCInTheFirstSourceStartsNoFurtherSourceOrPass) {
  const std::string fifo = dir_.File("feed");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string second = dir_.Write("b.ts", PacketsWithCc(0x200, {0, 1, 2}));
  // Opened for reading and writing, the FIFO never blocks the open and never
  // reports an end to the program.
  const int feed = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(feed, 0);
  const LossyStream stream = MakeLossyStream();
  std::atomic<bool> stopFeeding{false};
  std::thread writer(Feed, feed, std::cref(stream.bytes), std::cref(stopFeeding));

  ProcessOptions options;
  options.stdoutTerminal = true;
  options.signal = SIGINT;
  options.signalWhen = "\r";  // the first progress line
  const ProcessResult result = Run({"-nolog", "-loop", fifo, second}, options);
  stopFeeding = true;
  writer.join();
  ::close(feed);

  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, LossyStream::kDrops);
  const std::size_t noticeAt = result.out.find(text::kMsgCtrlC);
  ASSERT_NE(noticeAt, std::string::npos) << result.out;
  EXPECT_TRUE(OnlyProgressBefore(result.out, noticeAt, true)) << result.out;
  // The drops are known by the first progress line; how many packets were
  // read by the time the stop was seen is not.
  const std::string header = FormatText(text::kFmtDropHeader, fifo.c_str());
  EXPECT_EQ(result.out.find(std::string(text::kMsgCtrlC) + "\n" + header + "0x0300 : "), noticeAt);
  EXPECT_NE(result.out.find(" : 2 Drops : "), std::string::npos);
  EXPECT_EQ(Count(result.out, "\x81\x7C DROP "), 1u) << result.out;
  EXPECT_EQ(result.out.substr(result.out.size() - Closing(2).size() - 2), "\r\n" + Closing(2));
}

// Without a controlling terminal the pause prompt has no key to wait for:
// the run goes on, and a stream on standard input loses no byte to it (the
// log is the one of the same run without -pause).
TEST_F(ConsoleRun, PauseWithoutATerminalKeepsTheStream) {
  std::string logs[2];
  for (const bool pause : {false, true}) {
    ProcessOptions options;
    options.newSession = true;
    options.stdinData = PacketsWithCc(0x100, {0, 1, 3, 4});
    options.signal = SIGINT;
    options.signalAfterStdinRead = true;
    options.signalAfter = 300ms;
    const std::string log = dir_.File(pause ? "pause.log" : "plain.log");
    std::vector<std::string> args = {"-noprogress", "-logpath", log, "CON"};
    if (pause) args.insert(args.begin(), "-pause");
    const ProcessResult result = Run(args, options);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1) << pause;
    EXPECT_EQ(result.out.rfind(pause ? text::kMsgPressAnyKey : "\n", 0), 0u) << result.out;
    logs[pause] = ReadFileBytes(log);
  }
  EXPECT_EQ(logs[1], logs[0]);
  EXPECT_EQ(logs[0].rfind(SummaryBlock("CON", SummaryLine(0x100, 4, 1, 4)), 0), 0u) << logs[0];
}

// ------------------------------------------------------------ terminal

// The program on a pseudo-terminal: standard input is the terminal, which is
// also its controlling terminal (a typed Ctrl+C becomes SIGINT); standard
// output and error go to a pipe, so all the terminal sends back is echo. The
// working directory also serves as the temporary folder.
class TerminalRun {
 public:
  TerminalRun(const std::vector<std::string>& argv, const std::string& directory) {
    int out[2];
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) StartChild(argv, directory, out);
    ::close(out[1]);
    outFd_ = out[0];
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;

  ~TerminalRun() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (const int fd : {master_, slave_, outFd_}) {
      if (fd >= 0) ::close(fd);
    }
  }

  bool started() const { return pid_ > 0 && outFd_ >= 0; }
  pid_t pid() const { return pid_; }
  const std::string& out() const { return out_; }

  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (out_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      DrainOutput(20);
    }
    return true;
  }

  // The terminal's modes as the program left them.
  termios Modes() const {
    termios modes{};
    ::tcgetattr(slave_, &modes);
    return modes;
  }

  // True once the terminal gives single keys without echo: the key wait runs.
  bool WaitForKeyMode(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while ((Modes().c_lflag & (ECHO | ICANON)) != 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      DrainOutput(20);
    }
    return true;
  }

  void Type(const std::string& keys) {
    const ssize_t written = ::write(master_, keys.data(), keys.size());
    EXPECT_EQ(written, static_cast<ssize_t>(keys.size()));
  }

  // Waits for the end and collects the rest of the output. The exit status,
  // or -1 when the child was ended by a signal or did not end in time.
  int Finish(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      DrainOutput(20);
    }
    pid_ = -1;
    while (outFd_ >= 0) DrainOutput(20);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // What the terminal sent back to the typist.
  std::string Echoed() {
    std::string echoed;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0) {
      echoed.append(buffer, static_cast<std::size_t>(n));
    }
    return echoed;
  }

 private:
  [[noreturn]] void StartChild(const std::vector<std::string>& argv, const std::string& directory,
                               const int out[2]) {
    ::close(master_);
    ::close(out[0]);
    // A new session with the terminal as controlling terminal and 0, 1, 2.
    if (::login_tty(slave_) != 0) ::_exit(125);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    ::close(out[1]);
    if (::chdir(directory.c_str()) != 0) ::_exit(126);
    ::setenv("TMPDIR", directory.c_str(), 1);
    ::setenv("LC_ALL", "C", 1);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int signal : {SIGINT, SIGPIPE, SIGHUP, SIGTERM}) std::signal(signal, SIG_DFL);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }

  void DrainOutput(int waitMs) {
    if (outFd_ < 0) return;
    pollfd entry{outFd_, POLLIN, 0};
    if (::poll(&entry, 1, waitMs) <= 0) return;
    char buffer[4096];
    const ssize_t n = ::read(outFd_, buffer, sizeof buffer);
    if (n > 0) {
      out_.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      ::close(outFd_);
      outFd_ = -1;
    }
  }

  int master_ = -1;
  int slave_ = -1;
  int outFd_ = -1;
  pid_t pid_ = -1;
  std::string out_;
};

// The prompts before the first job, on a terminal. The source has one drop.
//
// options             | typed  | console                                   | exit
// -pid                |        | process id, summary, closing              | 1
// -pause              | x      | prompt, (key wait), summary, closing      | 1
// -pid -pause         | x      | process id, prompt, summary, closing      | 1
// -pause              | Ctrl+C | prompt, Ctrl+C notice, closing (no job)   | 0
// -pause -noprogress  | Ctrl+C | prompt, closing (no job)                  | 0
struct PromptCase {
  const char* name;
  std::vector<std::string> options;
  const char* typed;  // null: no key wait
  bool pidLine;
  bool jobRuns;
  bool notice;
};

void PrintTo(const PromptCase& c, std::ostream* os) { *os << c.name; }

class TerminalPrompts : public ConsoleRun, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(TerminalPrompts, ShowPromptsAndWaitForAKeyWithoutEcho) {
  const PromptCase& c = GetParam();
  const std::string a = dir_.Write("a.ts", PacketsWithCc(0x100, {0, 1, 3, 4}));
  std::vector<std::string> argv = {KESTRUN_BIN, "-nolog"};
  argv.insert(argv.end(), c.options.begin(), c.options.end());
  argv.push_back(a);
  TerminalRun run(argv, dir_.path());
  ASSERT_TRUE(run.started());

  std::string expected;
  if (c.pidLine) expected += FormatText(text::kMsgProcessId, static_cast<int>(run.pid()));
  if (c.typed != nullptr) {
    expected += text::kMsgPressAnyKey;
    ASSERT_TRUE(run.WaitForOutput(expected, 30s)) << run.out();
    ASSERT_TRUE(run.WaitForKeyMode(30s));
    // Nothing goes on until a key comes.
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(run.WaitForOutput(expected, 0ms));
    EXPECT_EQ(run.out(), expected);
    run.Type(c.typed);
  }
  if (c.notice) expected += text::kMsgCtrlC;
  const int total = c.jobRuns ? 1 : 0;
  if (c.jobRuns) expected += "\n" + SummaryBlock(a, SummaryLine(0x100, 4, 1, 4));
  expected += Closing(total);

  EXPECT_EQ(run.Finish(30s), total);
  EXPECT_EQ(run.out(), expected);
  EXPECT_EQ(run.Echoed(), "");
  // The terminal is left as it was found.
  EXPECT_EQ(run.Modes().c_lflag & (ECHO | ICANON), static_cast<tcflag_t>(ECHO | ICANON));
}

INSTANTIATE_TEST_SUITE_P(
    Prompts, TerminalPrompts,
    ::testing::Values(PromptCase{"Pid", {"-pid"}, nullptr, true, true, false},
                      PromptCase{"Pause", {"-pause"}, "x", false, true, false},
                      PromptCase{"PidAndPause", {"-pid", "-pause"}, "x", true, true, false},
                      PromptCase{"CtrlCAtPause", {"-pause"}, kCtrlC, false, false, true},
                      PromptCase{"CtrlCAtPauseNoProgress", {"-pause", "-noprogress"}, kCtrlC,
                                 false, false, false}),
    [](const ::testing::TestParamInfo<PromptCase>& info) { return std::string(info.param.name); });

// File names in messages. Each run has a stream with one drop, a file that
// is no stream and a missing file, all named alike:
//
// name on disk                     | in the messages (CP932)   | under a UTF-8 locale
// 録画 ①.ts (UTF-8)                | its CP932 bytes           | 録画 ①.ts
// café.ts (é has no CP932 form)    | caf?.ts                   | caf?.ts
// テスト.ts in CP932 (not UTF-8)   | kept as it is             | テスト.ts
struct NameCase {
  const char* label;
  std::string name;
  std::string inMessages;
  std::string shown;
};

TEST_F(ConsoleRun, FileNamesInMessagesAreCp932) {
  const NameCase cases[] = {
      {"Japanese", "\xE9\x8C\xB2\xE7\x94\xBB \xE2\x91\xA0.ts", "\x98\x5E\x89\xE6 \x87\x40.ts",
       "\xE9\x8C\xB2\xE7\x94\xBB \xE2\x91\xA0.ts"},
      {"NoCp932Form", "caf\xC3\xA9.ts", "caf?.ts", "caf?.ts"},
      {"NotUtf8", "\x83\x65\x83\x58\x83\x67.ts", "\x83\x65\x83\x58\x83\x67.ts",
       "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.ts"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string stream = dir_.Write("s" + c.name, PacketsWithCc(0x100, {0, 1, 3, 4}));
    dir_.Write("n" + c.name, std::string(1000, 'x'));
    const std::vector<std::string> args = {"-noprogress", stream, dir_.File("n" + c.name),
                                           dir_.File("m" + c.name)};
    const ProcessResult piped = Run(args);
    const std::string log = SummaryBlock(dir_.File("s" + c.inMessages), SummaryLine(0x100, 4, 1, 4)) +
                            FormatText(text::kMsgNotTransportStream, dir_.File("n" + c.inMessages).c_str()) +
                            FormatText(text::kMsgFileMissing, dir_.File("m" + c.inMessages).c_str()) +
                            Closing(1);
    EXPECT_EQ(piped.exitCode, 1);
    EXPECT_EQ(piped.out, "\n" + log);
    // The log lies beside the stream under its real name.
    EXPECT_EQ(ReadFileBytes(dir_.File("s" + c.name.substr(0, c.name.size() - 3) + ".kestrun.log")), log);

    ProcessOptions utf8;
    utf8.env = {{"LC_ALL", "C.UTF-8"}};
    const std::string shown = Run(args, utf8).out;
    for (const char* prefix : {"s", "n", "m"}) {
      EXPECT_EQ(Count(shown, dir_.File(prefix + c.shown)), 1u) << prefix << "\n" << shown;
    }
  }
}

// The console by locale and output; the source has two drops and 1200
// packets, so one progress line is due.
//
// locale   | output   | shows
// C        | pipe     | the CP932 bytes, CR LF kept, no progress line
// C.UTF-8  | pipe     | their UTF-8 form with LF line ends, no progress line
// C        | terminal | the progress line, then what the pipe shows
// C.UTF-8  | terminal | the same in UTF-8: progress lines end in a lone CR
TEST_F(ConsoleRun, FollowsTheLocaleAndShowsProgressOnATerminalOnly) {
  const LossyStream stream = MakeLossyStream();
  const std::string a = dir_.Write("a.ts", stream.bytes);
  const std::string cp932 = "\n" + LossySummary(a, stream) + Closing(LossyStream::kDrops);
  std::string utf8 = ConvertCp932ToUtf8(cp932);
  for (std::size_t at; (at = utf8.find("\r\n")) != std::string::npos;) utf8.erase(at, 1);
  struct Case {
    const char* locale;
    bool terminal;
    const std::string& piped;
    const char* progressMark;
  };
  const Case cases[] = {{"C", false, cp932, nullptr},
                        {"C.UTF-8", false, utf8, nullptr},
                        {"C", true, cp932, "\x81\x7C "},
                        {"C.UTF-8", true, utf8, "\xEF\xBC\x8D "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + (c.terminal ? " terminal" : " pipe"));
    ProcessOptions options;
    options.env = {{"LC_ALL", c.locale}};
    options.stdoutTerminal = c.terminal;
    const ProcessResult result = Run({"-nolog", a}, options);
    EXPECT_EQ(result.exitCode, LossyStream::kDrops);
    ASSERT_GE(result.out.size(), c.piped.size());
    const std::size_t progressEnd = result.out.size() - c.piped.size();
    EXPECT_EQ(result.out.substr(progressEnd), c.piped);
    const std::string progress = result.out.substr(0, progressEnd);
    if (c.progressMark == nullptr) {
      EXPECT_EQ(progress, "");
    } else {
      EXPECT_EQ(progress.rfind(c.progressMark, 0), 0u) << progress;
      EXPECT_EQ(progress.back(), '\r');
      EXPECT_EQ(progress.find('\n'), std::string::npos);
    }
    if (std::string(c.locale) != "C") {
      EXPECT_TRUE(IsValidUtf8(result.out));
    }
  }
}

// ------------------------------------------------------------ clean-up at exit

void Touch(const std::string& path) { std::ofstream(path, std::ios::binary) << 'x'; }

// Leftovers and bystanders in a temporary folder. `tag` keeps names apart
// in a folder that other runs share.
struct TempLayout {
  std::vector<std::string> doomed;   // files matching ZIZ????.tmp*
  std::vector<std::string> spared;   // names not starting with ZIZ, folders, files in folders
  std::vector<std::string> folders;  // the folders made for it
};

TempLayout FillTempFolder(const std::string& folder, const std::string& tag) {
  TempLayout layout;
  layout.doomed = {"ZIZ1A2B.tmp", "ZIZ0001.tmp.bak", "ZIZ9F9F.tmp" + tag};
  const std::string matchingFolder = "ZIZ7E7E.tmp.dir" + tag;
  const std::string plainFolder = "sub" + tag;
  layout.spared = {"XZIZ1A2B.tmp" + tag, "ZI1A2B.tmp" + tag,      "keep" + tag + ".tmp",
                   matchingFolder,       matchingFolder + "/ZIZ0002.tmp", plainFolder + "/ZIZ0003.tmp"};
  layout.folders = {matchingFolder, plainFolder};
  for (const std::string& name : layout.folders) fs::create_directories(folder + "/" + name);
  for (const auto* names : {&layout.doomed, &layout.spared}) {
    for (const std::string& name : *names) {
      if (!fs::exists(folder + "/" + name)) Touch(folder + "/" + name);
    }
  }
  return layout;
}

void ExpectCleanedUp(const std::string& folder, const TempLayout& layout, bool deleted) {
  for (const std::string& name : layout.doomed) {
    EXPECT_EQ(fs::exists(folder + "/" + name), !deleted) << name;
  }
  for (const std::string& name : layout.spared) EXPECT_TRUE(fs::exists(folder + "/" + name)) << name;
}

// A folder below `base` whose path is exactly `length` bytes long.
std::string FolderOfLength(const std::string& base, std::size_t length) {
  std::string path = base;
  while (path.size() < length) {
    const std::size_t room = length - path.size() - 1;  // after the separator
    std::size_t chunk = std::min<std::size_t>(room, 100);
    if (room - chunk == 1) --chunk;  // never leave a single byte for the next level
    path += "/" + std::string(chunk, 't');
  }
  fs::create_directories(path);
  return path;
}

// run                       | TMPDIR (the separator is added) | leftovers
// -nolog, no job            | test folder                     | deleted
// no argument (usage)       | test folder                     | kept
// CON, stopped by SIGINT    | test folder                     | deleted
// CON, ended by SIGQUIT     | test folder                     | kept (no summary, no closing)
// -nolog                    | 247 bytes: 248 + 12 = 260       | kept (not searched)
// -nolog                    | 246 bytes: 247 + 12 = 259       | deleted
struct CleanupCase {
  const char* name;
  std::vector<std::string> args;
  int signal;
  std::size_t tmpLength;  // 0: a plain folder
  bool deleted;
};

void PrintTo(const CleanupCase& c, std::ostream* os) { *os << c.name; }

class LeftoverCleanup : public ConsoleRun, public ::testing::WithParamInterface<CleanupCase> {};

TEST_P(LeftoverCleanup, DeletesLeftoversInTheTempFolderOnly) {
  const CleanupCase& c = GetParam();
  const std::string tmp = c.tmpLength == 0 ? dir_.File("tmp") : FolderOfLength(dir_.path(), c.tmpLength);
  ASSERT_EQ(tmp.size(), c.tmpLength == 0 ? tmp.size() : c.tmpLength);
  fs::create_directories(tmp);
  const TempLayout layout = FillTempFolder(tmp, "");
  ProcessOptions options;
  options.env.emplace_back("TMPDIR", tmp);
  if (c.signal != 0) {
    options.stdinData = MakeLossyStream().bytes;
    options.keepStdinOpen = true;
    options.signal = c.signal;
    options.signalAfterStdinRead = true;
    options.signalAfter = 300ms;
  }

  const ProcessResult result = Run(c.args, options);

  ASSERT_FALSE(result.timedOut);
  ExpectCleanedUp(tmp, layout, c.deleted);
  if (c.signal == SIGQUIT) {
    EXPECT_EQ(result.termSignal, SIGQUIT);
    EXPECT_EQ(result.out.find("\x81\x7C DROP "), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find(Closing(LossyStream::kDrops)), std::string::npos) << result.out;
  } else if (!c.args.empty()) {
    const int total = c.signal == 0 ? 0 : LossyStream::kDrops;
    EXPECT_EQ(result.exitCode, total);
    ASSERT_GE(result.out.size(), Closing(total).size());
    EXPECT_EQ(result.out.substr(result.out.size() - Closing(total).size()), Closing(total));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, LeftoverCleanup,
    ::testing::Values(CleanupCase{"NoJob", {"-nolog"}, 0, 0, true},
                      CleanupCase{"UsageScreen", {}, 0, 0, false},
                      CleanupCase{"CtrlC", {"-nolog", "CON"}, SIGINT, 0, true},
                      CleanupCase{"CtrlBreak", {"-nolog", "CON"}, SIGQUIT, 0, false},
                      CleanupCase{"FolderTooLong", {"-nolog"}, 0, 247, false},
                      CleanupCase{"LongestFolder", {"-nolog"}, 0, 246, true}),
    [](const ::testing::TestParamInfo<CleanupCase>& info) { return std::string(info.param.name); });

// In a temporary folder shared with others, a matching file of another user
// stays, even for a program run as root; the program's user's own goes.
TEST_F(ConsoleRun, LeftoversOfOtherUsersStay) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a test file another owner";
  Touch(dir_.File("ZIZ1111.tmp"));
  Touch(dir_.File("ZIZ2222.tmp"));
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::chown(dir_.File("ZIZ1111.tmp").c_str(), kNobody, kNobody), 0);
  const ProcessResult result = Run({"-nolog"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(fs::exists(dir_.File("ZIZ1111.tmp")));
  EXPECT_FALSE(fs::exists(dir_.File("ZIZ2222.tmp")));
}

// ------------------------------------------------------------ Windows builds

// Wine hands its programs the prefix's own temporary folder whatever TMP and
// TEMP say: C:\users\<user>\Temp.
std::string WineTempFolder() {
  const std::string users = testing::WinePrefix() + "/drive_c/users/";
  if (const passwd* user = ::getpwuid(::getuid()); user != nullptr) {
    const std::string folder = users + user->pw_name + "/Temp";
    if (fs::is_directory(folder)) return folder;
  }
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(users, ignored)) {
    if (entry.path().filename() != "Public" && fs::is_directory(entry.path() / "Temp")) {
      return (entry.path() / "Temp").string();
    }
  }
  return {};
}

class WindowsBuildRun : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { KESTRUN_REQUIRE_BUILD(GetParam(), build_); }

  KestrunBuild build_;
  TempDir dir_;
};

// A run that ends in order (every pass, its summaries, the closing line and
// the drop total as exit code) and deletes the leftovers in Wine's temporary
// folder. Other runs share that folder: every name the test keeps carries
// its own tag, and leftovers deleted by another run are deleted all the same.
TEST_P(WindowsBuildRun, EndsInOrderAndCleansTheTempFolder) {
  // The first start of a new prefix makes its folders.
  ProcessOptions options;
  options.workingDirectory = dir_.path();
  ASSERT_FALSE(build_.Run({"-nolog"}, options).timedOut);
  const std::string temp = WineTempFolder();
  ASSERT_FALSE(temp.empty()) << "no Temp folder in " << testing::WinePrefix();
  const std::string tag = "." + build_.name + "." + std::to_string(::getpid());
  const TempLayout layout = FillTempFolder(temp, tag);
  const std::string a = dir_.Write("a.ts", PacketsWithCc(0x100, {0, 1, 3, 4}));

  const ProcessResult result = build_.Run({"-nolog", "-noprogress", "-loop2", build_.Path(a)}, options);

  EXPECT_EQ(result.exitCode, 2);
  const std::string job = "\n" + SummaryBlock(build_.Path(a), SummaryLine(0x100, 4, 1, 4));
  EXPECT_EQ(result.out, job + job + Closing(2));
  ExpectCleanedUp(temp, layout, true);
  for (const std::string& name : layout.spared) fs::remove_all(temp + "/" + name);
  for (const std::string& name : layout.folders) fs::remove_all(temp + "/" + name);
}

// Wine turns SIGINT into the console's Ctrl+C event. A CON run at the end of
// its input keeps polling, so the stop is seen although Wine's reads of a
// Unix pipe cannot be interrupted. Once all input is read the run is in its
// loop, the handler long installed.
TEST_P(WindowsBuildRun, CtrlCEndsAConRunInOrder) {
  const LossyStream stream = MakeLossyStream();
  ProcessOptions options;
  options.workingDirectory = dir_.path();
  options.stdinData = stream.bytes;
  options.signal = SIGINT;
  options.signalAfterStdinRead = true;
  options.signalAfter = 500ms;

  const ProcessResult result = build_.Run({"-nolog", "CON"}, options);

  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, LossyStream::kDrops);
  const std::size_t noticeAt = result.out.find(text::kMsgCtrlC);
  ASSERT_NE(noticeAt, std::string::npos) << result.out;
  // The Windows console shows progress lines in a pipe too.
  EXPECT_TRUE(OnlyProgressBefore(result.out, noticeAt, true)) << result.out;
  EXPECT_EQ(result.out.substr(noticeAt), text::kMsgCtrlC + ("\n" + LossySummary("CON", stream)) +
                                             Closing(LossyStream::kDrops));
}

INSTANTIATE_TEST_SUITE_P(Builds, WindowsBuildRun, ::testing::Values("win64", "win32"));

}  // namespace
}  // namespace kestrun
