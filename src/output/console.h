// The one byte sink all console output goes through. By default it is the
// platform's standard output; tests put their own sink in its place to
// compare exact bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/format_text.h"

namespace kestrun {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const char* bytes, std::size_t count) = 0;
  virtual void Flush() = 0;
};

// Replaces the console sink (null restores standard output).
void SetConsoleSink(ByteSink* sink);

// Console-only output: the usage screen, the progress line, prompts and
// notices that never reach the log. Each call is written whole, never
// interleaved with another thread's call.
void ConsoleText(std::string_view text);
void ConsolePrint(const char* format, ...) KESTRUN_PRINTF(1, 2);
// A notice about the command line: on standard error on POSIX, on the
// console on Windows.
void CommandLineNotice(std::string_view text);
// A notice about the run that scripts must be able to see: on the console
// and, on POSIX, on standard error too unless that is the console's own file.
void RunNotice(std::string_view text);
// Pushes what was written out at once (the progress line on a terminal),
// held text first.
void ConsoleFlush();

// Console-only text that may wait: it goes out with the next console output
// of any kind (in front of it, in one write), at the next ConsoleFlush, or
// once kConsoleHoldLimit bytes wait, whichever comes first; the bytes and
// their order are those of writing it at once.
inline constexpr std::size_t kConsoleHoldLimit = 64u << 10;
void ConsoleTextHeld(std::string_view text);

}  // namespace kestrun
