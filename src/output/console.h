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
// Pushes what was written out at once (the progress line on a terminal).
void ConsoleFlush();

}  // namespace kestrun
