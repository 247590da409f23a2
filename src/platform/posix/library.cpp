#include <dlfcn.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

class SharedObject final : public DynamicLibrary {
 public:
  explicit SharedObject(void* handle) : handle_(handle) {}
  ~SharedObject() override { ::dlclose(handle_); }
  SharedObject(const SharedObject&) = delete;
  SharedObject& operator=(const SharedObject&) = delete;

  void* Symbol(const char* name) override { return name == nullptr ? nullptr : ::dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<DynamicLibrary> LoadDynamicLibrary(const std::string& path) {
  // dlopen of an empty name would hand out the program itself.
  if (path.empty()) return nullptr;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  return std::make_unique<SharedObject>(handle);
}

}  // namespace kestrun::platform
