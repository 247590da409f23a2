// A report on a running job is made where the worker cannot be changing
// it: by the reporter while the worker is parked, else by the worker itself
// between two packets.
#include "worker/live_job.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace kestrun {
namespace {

TEST(LiveJob, VisitRunsAtOnceWhileParkedAndOnTheWorkerWhileItWorks) {
  LiveJob live;
  // A job starts parked: the visit runs on the reporter's own thread.
  std::thread::id ranOn;
  live.Visit([&] { ranOn = std::this_thread::get_id(); });
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  std::atomic<bool> working{false};
  std::atomic<bool> done{false};
  std::thread::id workerId;
  int state = 0;  // the worker's own, changed only between its passes
  std::thread worker([&] {
    workerId = std::this_thread::get_id();
    WorkingScope scope(&live);
    working = true;
    while (!done) {
      ++state;
      if (live.VisitWanted()) live.RunVisit();
    }
    // Parked for good when the scope ends: later visits need no worker.
  });
  while (!working) std::this_thread::yield();
  int seen = -1;
  live.Visit([&] {
    ranOn = std::this_thread::get_id();
    seen = state;
  });
  EXPECT_EQ(ranOn, workerId);
  EXPECT_GT(seen, 0);
  done = true;
  worker.join();
  live.Visit([&] { seen = state; });
  EXPECT_EQ(seen, state);
}

// A visit asked for while the worker works is run when it parks.
TEST(LiveJob, ParkingRunsTheVisitThatWaits) {
  LiveJob live;
  live.Unpark();
  std::atomic<bool> ran{false};
  std::thread reporter([&] { live.Visit([&] { ran = true; }); });
  while (!live.VisitWanted()) std::this_thread::yield();
  EXPECT_FALSE(ran);
  live.Park();
  reporter.join();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace kestrun
