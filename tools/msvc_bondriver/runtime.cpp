// What a C++ runtime would otherwise give the driver: the heap operators,
// the handler of a call to a pure virtual function, the floating-point
// marker, the table the type records point at, and the two memory routines
// the compiler may call.
#include "win32_api.h"

void* operator new(size_t size) { return HeapAlloc(GetProcessHeap(), kHeapZeroMemory, size); }
void* operator new[](size_t size) { return HeapAlloc(GetProcessHeap(), kHeapZeroMemory, size); }
void operator delete(void* block) noexcept { HeapFree(GetProcessHeap(), 0, block); }
void operator delete(void* block, size_t) noexcept { HeapFree(GetProcessHeap(), 0, block); }
void operator delete[](void* block) noexcept { HeapFree(GetProcessHeap(), 0, block); }

extern "C" {

int _purecall() { return 0; }

// The compiler marks every object that uses floating point with a reference
// to this symbol, which the C runtime would define.
int _fltused = 0;

// Every type record starts with a pointer to type_info's table; nothing in
// the driver calls through it. (Not const: that would make it local.)
const void* kTypeInfoTable[2] __asm__("??_7type_info@@6B@") = {nullptr, nullptr};

void* memcpy(void* to, const void* from, size_t count) {
  auto* out = static_cast<volatile unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  for (size_t i = 0; i < count; ++i) out[i] = in[i];
  return to;
}

void* memset(void* to, int value, size_t count) {
  auto* out = static_cast<volatile unsigned char*>(to);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<unsigned char>(value);
  return to;
}

}  // extern "C"
