#include "worker/live_job.h"

namespace kestrun {

void LiveJob::Visit(const std::function<void()>& visit) {
  std::unique_lock lock(guard_);
  if (parked_) {
    visit();
    return;
  }
  pending_ = &visit;
  wanted_.store(true, std::memory_order_relaxed);
  done_.wait(lock, [this] { return pending_ == nullptr; });
}

void LiveJob::RunPendingLocked() {
  if (pending_ == nullptr) return;
  (*pending_)();
  pending_ = nullptr;
  wanted_.store(false, std::memory_order_relaxed);
  done_.notify_all();
}

void LiveJob::RunVisit() {
  std::lock_guard lock(guard_);
  RunPendingLocked();
}

void LiveJob::Park() {
  std::lock_guard lock(guard_);
  RunPendingLocked();
  parked_ = true;
}

void LiveJob::Unpark() {
  std::lock_guard lock(guard_);
  parked_ = false;
}

}  // namespace kestrun
