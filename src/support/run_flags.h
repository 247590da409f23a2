// The process-wide run flags. They are single words written once per event
// and polled by the loops of every thread, so they are atomics used with
// relaxed ordering: a late read only delays a stop by one loop turn.
#pragma once

#include <atomic>
#include <cstdint>

namespace kestrun {

// 0 at start, 1 once a stop is requested (Ctrl+C, console close, exit).
extern std::atomic<std::int32_t> AbortFlag;
// 0 none, 1 Ctrl+C seen, 2 console close seen.
extern std::atomic<std::int32_t> ConsoleEventCode;
// Bit 31: console output on. Bit 0: no progress line (noprogress). Bit 1:
// the console cannot show a progress line (on POSIX: it is no terminal).
extern std::atomic<std::uint32_t> ConsoleFlags;
// False while a progress line stands on the console.
extern std::atomic<bool> LineStartFlag;
// Set before each source; cleared by whoever prints the DROP header first.
extern std::atomic<bool> DropHeaderPending;

inline constexpr std::uint32_t kConsoleOn = 0x80000000u;
inline constexpr std::uint32_t kConsoleNoProgress = 0x00000001u;
inline constexpr std::uint32_t kConsoleNotTerminal = 0x00000002u;

// Progress lines and their line separators need the console on, noprogress
// off and a console that shows them. The notices that noprogress also
// silences do not depend on the console being a terminal.
inline bool ProgressAllowed() {
  const std::uint32_t flags = ConsoleFlags.load(std::memory_order_relaxed);
  return (flags & kConsoleOn) != 0 && (flags & (kConsoleNoProgress | kConsoleNotTerminal)) == 0;
}

inline bool StopRequested() {
  return AbortFlag.load(std::memory_order_relaxed) != 0 ||
         ConsoleEventCode.load(std::memory_order_relaxed) != 0;
}

}  // namespace kestrun
