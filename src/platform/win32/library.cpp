#include <windows.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

class Module final : public DynamicLibrary {
 public:
  explicit Module(HMODULE handle) : handle_(handle) {}
  ~Module() override { FreeLibrary(handle_); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  void* Symbol(const char* name) override {
    if (name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(handle_, name));
  }

 private:
  HMODULE handle_;
};

}  // namespace

std::unique_ptr<DynamicLibrary> LoadDynamicLibrary(const std::string& path) {
  if (path.empty()) return nullptr;
  const HMODULE handle = LoadLibraryA(path.c_str());
  if (handle == nullptr) return nullptr;
  return std::make_unique<Module>(handle);
}

}  // namespace kestrun::platform
