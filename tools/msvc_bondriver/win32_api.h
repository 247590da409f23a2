// The few kernel32 functions and constants the driver uses, declared here
// because the driver is built without a platform SDK or C runtime.
#pragma once

#include <stddef.h>
#include <stdint.h>

extern "C" {

using HANDLE = void*;
using DWORD = unsigned long;
using BOOL = int;

#define IMPORT __declspec(dllimport)
#define WINAPI __stdcall

IMPORT HANDLE WINAPI CreateFileA(const char* name, DWORD access, DWORD share, void* security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile);
IMPORT BOOL WINAPI ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read, void* overlapped);
IMPORT BOOL WINAPI WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written,
                             void* overlapped);
IMPORT BOOL WINAPI CloseHandle(HANDLE handle);
IMPORT DWORD WINAPI GetEnvironmentVariableA(const char* name, char* buffer, DWORD size);
IMPORT DWORD WINAPI GetModuleFileNameA(void* module, char* buffer, DWORD size);
IMPORT HANDLE WINAPI GetProcessHeap();
IMPORT void* WINAPI HeapAlloc(HANDLE heap, DWORD flags, size_t size);
IMPORT BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, void* block);
IMPORT void WINAPI Sleep(DWORD milliseconds);

#undef IMPORT
#undef WINAPI

// The start of this library's image, provided by the linker.
extern char __ImageBase;

}  // extern "C"

inline HANDLE const kInvalidHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
constexpr DWORD kGenericRead = 0x80000000;
constexpr DWORD kFileAppendData = 0x0004;
constexpr DWORD kShareReadWrite = 0x00000001 | 0x00000002;
constexpr DWORD kOpenExisting = 3;
constexpr DWORD kOpenAlways = 4;
constexpr DWORD kHeapZeroMemory = 0x00000008;
