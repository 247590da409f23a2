// A job looked at from outside while it runs. The reporter thread rewrites
// the report files on the wall clock, also while the worker waits for input
// for minutes; the worker must take no lock and make no system call per
// packet. So the reporter asks, and reads the job's state only where the
// worker cannot be changing it:
// - the worker answers between two packets: it looks at one flag once per
//   pass of its loop (a plain load) and, when asked, runs the reporter's
//   visit itself;
// - while the worker waits for input (a read call, a wait for the tuner or
//   for a file to grow) it is parked: the reporter then runs its visit on
//   its own thread, and the worker cannot leave its wait before the visit
//   is done.
// A job starts parked, so a visit never waits for a worker that has not
// started; the worker unparks to set up and parks for good when it ends.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kestrun {

class LiveJob {
 public:
  // Reporter: runs `visit` with the job's state to itself, at once when the
  // worker is parked, else on the worker's thread at its next pass; returns
  // when it has run.
  void Visit(const std::function<void()>& visit);

  // Worker: whether a visit waits to be run (once per pass).
  bool VisitWanted() const { return wanted_.load(std::memory_order_relaxed); }
  // Worker: runs the visit that waits, if any.
  void RunVisit();
  // Worker: around every wait for input. Parking runs a visit that waits.
  void Park();
  void Unpark();

 private:
  void RunPendingLocked();

  std::mutex guard_;
  std::condition_variable done_;
  bool parked_ = true;
  const std::function<void()>* pending_ = nullptr;
  std::atomic<bool> wanted_{false};
};

// Parks the worker for the life of the scope (nothing without a live job).
class ParkedScope {
 public:
  explicit ParkedScope(LiveJob* live) : live_(live) {
    if (live_ != nullptr) live_->Park();
  }
  ~ParkedScope() {
    if (live_ != nullptr) live_->Unpark();
  }
  ParkedScope(const ParkedScope&) = delete;
  ParkedScope& operator=(const ParkedScope&) = delete;

 private:
  LiveJob* live_;
};

// The worker's own time with the job, from its start to its end: the job is
// parked before and after (nothing without a live job).
class WorkingScope {
 public:
  explicit WorkingScope(LiveJob* live) : live_(live) {
    if (live_ != nullptr) live_->Unpark();
  }
  ~WorkingScope() {
    if (live_ != nullptr) live_->Park();
  }
  WorkingScope(const WorkingScope&) = delete;
  WorkingScope& operator=(const WorkingScope&) = delete;

 private:
  LiveJob* live_;
};

}  // namespace kestrun
