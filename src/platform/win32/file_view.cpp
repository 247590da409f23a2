// Views come from a read-only mapping object made for each view (its size
// is the file's size at that moment, so a file that has grown can be mapped
// further); the view keeps the object alive. The guard is a vectored
// exception handler that jumps back to RunGuardingViews when a read in the
// calling thread's guarded view fails: an in-page error on Windows, an
// access violation under Wine (a SIGBUS of the host), both with the address.
#include "platform/file_view.h"

#include "platform/win32/handles.h"

namespace kestrun::platform {
namespace {

struct ViewGuard {
  void** jump = nullptr;  // a __builtin_setjmp buffer, while the body runs
  const std::uint8_t* begin = nullptr;
  const std::uint8_t* end = nullptr;
  const std::uint8_t* fault = nullptr;
};

thread_local ViewGuard tGuard;

constexpr ULONG_PTR kReadAccess = 0;

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const bool viewFault =
      record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR || record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION;
  if (!viewFault || record.NumberParameters < 2 || record.ExceptionInformation[0] != kReadAccess) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  ViewGuard& guard = tGuard;
  const auto* address = reinterpret_cast<const std::uint8_t*>(record.ExceptionInformation[1]);
  if (guard.jump == nullptr || address < guard.begin || address >= guard.end) return EXCEPTION_CONTINUE_SEARCH;
  guard.fault = address;
  __builtin_longjmp(guard.jump, 1);
}

void InstallExceptionHandler() {
  static const bool installed = AddVectoredExceptionHandler(1, OnException) != nullptr;
  (void)installed;
}

// Out of line, so that the jump buffer's frame is the one the body runs in.
__attribute__((noinline)) bool RunBody(void** jump, void (*body)(void*), void* argument) {
  if (__builtin_setjmp(jump) != 0) return false;
  tGuard.jump = jump;
  body(argument);
  return true;
}

}  // namespace

std::uint32_t ViewAlignment() {
  static const std::uint32_t granularity = [] {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return static_cast<std::uint32_t>(info.dwAllocationGranularity);
  }();
  return granularity;
}

FileView MapFileView(FileHandle handle, std::uint64_t offset, std::size_t length) {
  if (!handle.valid() || length == 0) return {};
  const HANDLE mapping = CreateFileMappingA(NativeHandle(handle), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return {};
  void* base = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                             static_cast<DWORD>(offset), length);
  CloseHandle(mapping);
  if (base == nullptr) return {};
  return {static_cast<const std::uint8_t*>(base), length};
}

void UnmapFileView(FileView& view) {
  if (view.data != nullptr) UnmapViewOfFile(view.data);
  view = {};
}

void GuardView(const FileView& view) {
  tGuard.begin = view.data;
  tGuard.end = view.data == nullptr ? nullptr : view.data + view.size;
}

GuardedRun RunGuardingViews(void (*body)(void*), void* argument) {
  InstallExceptionHandler();
  void* jump[5] = {};
  const bool finished = RunBody(jump, body, argument);
  tGuard.jump = nullptr;
  if (finished) return {};
  return {true, tGuard.fault};
}

}  // namespace kestrun::platform
