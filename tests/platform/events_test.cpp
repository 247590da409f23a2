#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

// Starts `count` threads that each wait once and then count themselves.
std::vector<std::thread> StartWaiters(Event& event, int count, std::atomic<int>* passed) {
  std::vector<std::thread> waiters;
  for (int i = 0; i < count; ++i) {
    waiters.emplace_back([&event, passed] {
      event.Wait();
      ++*passed;
    });
  }
  return waiters;
}

TEST(Event, InitiallySetLetsWaitersThrough) {
  auto event = CreateManualResetEvent("", true);
  ASSERT_NE(event, nullptr);
  event->Wait();
  event->Wait();  // manual reset: still set
}

TEST(Event, SetReleasesEveryWaiterUntilReset) {
  auto event = CreateManualResetEvent("Thread1_Lock", false);
  ASSERT_NE(event, nullptr);
  std::atomic<int> passed{0};
  auto waiters = StartWaiters(*event, 3, &passed);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(passed.load(), 0);

  event->Set();
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(passed.load(), 3);

  event->Reset();
  auto late = StartWaiters(*event, 1, &passed);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(passed.load(), 3);
  event->Set();
  late.front().join();
  EXPECT_EQ(passed.load(), 4);
}

// The hand-off of the tuner's reception buffer: one side resets its event
// while it works and sets it afterwards; the other waits for it. No append
// and take may overlap.
TEST(Event, PairGuardsAHandOff) {
  auto notTaking = CreateManualResetEvent("Thread2_Lock", true);
  auto notAppending = CreateManualResetEvent("Thread2_Lock_2", true);
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::mutex guard;  // closes the gap between a wait and its reset
  auto work = [&](Event& wait, Event& hold) {
    for (int i = 0; i < 2000; ++i) {
      std::lock_guard lock(guard);
      wait.Wait();
      hold.Reset();
      if (++inside != 1) overlapped = true;
      --inside;
      hold.Set();
    }
  };
  std::thread appender(work, std::ref(*notTaking), std::ref(*notAppending));
  std::thread taker(work, std::ref(*notAppending), std::ref(*notTaking));
  appender.join();
  taker.join();
  EXPECT_FALSE(overlapped.load());
}

}  // namespace
}  // namespace kestrun::platform
