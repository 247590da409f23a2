#include <windows.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

class KernelEvent final : public Event {
 public:
  explicit KernelEvent(HANDLE handle) : handle_(handle) {}
  ~KernelEvent() override { CloseHandle(handle_); }
  KernelEvent(const KernelEvent&) = delete;
  KernelEvent& operator=(const KernelEvent&) = delete;

  void Set() override { SetEvent(handle_); }
  void Reset() override { ResetEvent(handle_); }
  void Wait() override { WaitForSingleObject(handle_, INFINITE); }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<Event> CreateManualResetEvent(const std::string& name, bool initiallySet) {
  const HANDLE handle = CreateEventA(nullptr, TRUE, initiallySet ? TRUE : FALSE, name.empty() ? nullptr : name.c_str());
  if (handle == nullptr) return nullptr;
  return std::make_unique<KernelEvent>(handle);
}

}  // namespace kestrun::platform
