#include <condition_variable>
#include <mutex>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

// Names serve only to share an event between processes, which nothing here
// needs; the name is ignored.
class ManualResetEvent final : public Event {
 public:
  explicit ManualResetEvent(bool initiallySet) : set_(initiallySet) {}

  void Set() override {
    std::lock_guard lock(mutex_);
    set_ = true;
    signalled_.notify_all();
  }

  void Reset() override {
    std::lock_guard lock(mutex_);
    set_ = false;
  }

  void Wait() override {
    std::unique_lock lock(mutex_);
    signalled_.wait(lock, [this] { return set_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable signalled_;
  bool set_;
};

}  // namespace

std::unique_ptr<Event> CreateManualResetEvent(const std::string& /*name*/, bool initiallySet) {
  return std::make_unique<ManualResetEvent>(initiallySet);
}

}  // namespace kestrun::platform
