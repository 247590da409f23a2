#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

// drop total   | exit status
// 0            | 0
// 1, 255       | the same
// 256, 100000  | 255 (8 bits must not wrap to 0)
// negative     | 255 (an overflowed total still means drops)
TEST(ExitStatusFor, SaturatesAtEightBits) {
  const struct {
    std::int32_t total;
    int status;
  } cases[] = {{0, 0}, {1, 1}, {255, 255}, {256, 255}, {100000, 255}, {-1, 255}, {INT_MIN, 255}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.total);
    EXPECT_EQ(ExitStatusFor(c.total), c.status);
  }
}

TEST(CalendarSeconds, FollowsTheClock) {
  const std::int64_t before = CalendarSeconds();
  EXPECT_GT(before, 1600000000);
  SleepMs(20);
  EXPECT_GE(CalendarSeconds(), before);
  EXPECT_EQ(ProcessId(), static_cast<int>(::getpid()));
}

// Console control runs in a child process, so that the signals reach a
// process set up as the program sets itself up.
int reportFd = -1;
std::atomic<int> eventsSeen{0};
bool handlerAccepts = true;

bool RecordEvent(ConsoleEvent event) {
  const char code = event == ConsoleEvent::CtrlC ? 'C' : event == ConsoleEvent::Close ? 'X' : '?';
  ssize_t ignored = ::write(reportFd, &code, 1);
  (void)ignored;
  ++eventsSeen;
  return handlerAccepts;
}

bool WaitForEvents(int count) {
  for (int i = 0; i < 200 && eventsSeen.load() < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return eventsSeen.load() >= count;
}

// Runs in the child: set up, then send each signal and wait for its event.
[[noreturn]] void ChildSendsSignals(int writeFd, bool accept, const std::vector<int>& signals) {
  InitPlatform();
  reportFd = writeFd;
  handlerAccepts = accept;
  if (!InstallConsoleControlHandler(RecordEvent)) ::_exit(3);
  // A thread started later must not take the signals itself.
  std::thread bystander([] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); });
  bystander.detach();
  int sent = 0;
  for (const int signal : signals) {
    ::kill(::getpid(), signal);
    if (!WaitForEvents(++sent)) ::_exit(4);
  }
  // A declined event ends the process by its default action: give it time.
  if (!accept) std::this_thread::sleep_for(std::chrono::seconds(2));
  ::_exit(0);
}

struct ChildResult {
  std::string events;
  int status = 0;
};

ChildResult RunChild(bool accept, const std::vector<int>& signals) {
  ChildResult result;
  int fds[2];
  if (::pipe(fds) != 0) return result;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    ChildSendsSignals(fds[1], accept, signals);
  }
  ::close(fds[1]);
  char code = 0;
  while (::read(fds[0], &code, 1) == 1) result.events += code;
  ::close(fds[0]);
  ::waitpid(child, &result.status, 0);
  return result;
}

// signals sent          | handler  | events seen | child ends
// SIGINT, SIGHUP, SIGTERM | accepts | C X X       | normally (0)
// SIGINT                | declines | C           | killed by SIGINT
TEST(ConsoleControl, SignalsBecomeEventsOnTheWaitingThread) {
  const ChildResult accepted = RunChild(true, {SIGINT, SIGHUP, SIGTERM});
  EXPECT_EQ(accepted.events, "CXX");
  ASSERT_TRUE(WIFEXITED(accepted.status));
  EXPECT_EQ(WEXITSTATUS(accepted.status), 0);

  const ChildResult declined = RunChild(false, {SIGINT});
  EXPECT_EQ(declined.events, "C");
  ASSERT_TRUE(WIFSIGNALED(declined.status));
  EXPECT_EQ(WTERMSIG(declined.status), SIGINT);
}

}  // namespace
}  // namespace kestrun::platform
