// Recorded messages: every line that belongs to the record is formatted once,
// echoed to the console and appended to the log file in force.
#pragma once

#include <cstdint>
#include <string>

#include "support/format_text.h"

namespace kestrun {

inline constexpr std::uint32_t kLogAppend = 0x80000000u;

// Sets the log file and whether messages are appended to it. Called by the
// job runner between jobs.
void SetLogTarget(const std::string& path, std::uint32_t flags);
std::string LogTarget();
std::uint32_t LogFlags();

// Formats the message; echoes it to the console while ConsoleFlags is not 0
// and appends it to the log while LogFlags bit 31 is set. An empty text
// produces nothing.
void WriteMessage(const char* format, ...) KESTRUN_PRINTF(1, 2);
void WriteMessageText(const std::string& text);

// Appends one message to the log: the bytes, then CR LF when the text does
// not end in a line feed. Appends from different threads never overlap. The
// first append of a job that cannot be made says so in a notice (console,
// and standard error on POSIX); the message itself stays on the console.
void WriteLog(const std::string& text);
// Called before each job: its first failed append is noticed again.
void BeginJobLog();

}  // namespace kestrun
