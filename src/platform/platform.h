// The platform layer: the only code that knows which operating system it runs
// on. posix/ and win32/ each implement every function declared here; CMake
// compiles the folder of the platform being built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/system_time.h"

namespace kestrun::platform {

// The first call of main. On POSIX it blocks SIGINT, SIGHUP and SIGTERM in the
// calling thread, so that every thread started later inherits the mask and only
// the console control thread receives them, and ignores SIGPIPE.
void InitPlatform();

// ---------------------------------------------------------------- files

// An open file, pipe, socket or standard input. A default handle is "none".
class FileHandle {
 public:
  static constexpr std::intptr_t kNone = -1;
  FileHandle() = default;
  explicit FileHandle(std::intptr_t native) : native_(native) {}
  bool valid() const { return native_ != kNone; }
  std::intptr_t native() const { return native_; }

 private:
  std::intptr_t native_ = kNone;
};

enum class SeekOrigin { Begin, Current, End };

struct ReadResult {
  bool ok = false;          // false: the call failed (a broken pipe included)
  std::uint32_t count = 0;  // bytes delivered; 0 with ok means end of input
};

// Opens an existing file for reading, shared for reading (and writing, so a
// recording that is still being written can be checked).
FileHandle OpenFileForRead(const std::string& path);
// The process's standard input.
FileHandle OpenStdIn();
// One connection attempt to a pipe source: a "\\.\pipe\NAME" text, or (POSIX)
// a path that names a FIFO or a Unix-domain socket. The caller retries.
FileHandle OpenPipeOnce(const std::string& source);
// True when the path names a FIFO (POSIX); such a path is a pipe source.
bool IsFifoPath(const std::string& path);
// One read call asking for up to `room` bytes.
ReadResult ReadFile(FileHandle handle, void* destination, std::uint32_t room);
// Waits up to `milliseconds` for the handle to have data or reach its end.
// True when a read would not block (always true where that cannot be told).
bool WaitReadable(FileHandle handle, unsigned milliseconds);
// Closes the handle (standard input included) and sets it to none.
void CloseFile(FileHandle& handle);
// True when the handle is a regular file on a disk: a read on it ends or
// fails by itself, never waiting for a writer.
bool IsRegularFile(FileHandle handle);
// Tells the system that the file will be read from here to its end, so it
// reads ahead generously (where the platform takes such advice after the
// open; Windows is told when the file is opened).
void AdviseSequentialRead(FileHandle handle);
// Size in bytes; 0 for an invalid handle or when it cannot be determined.
std::int64_t FileSizeOf(FileHandle handle);
// Moves the read position; returns the new position or -1.
std::int64_t SeekFile(FileHandle handle, std::int64_t distance, SeekOrigin origin);

// A file or directory of that name exists (GetFileAttributesA / stat).
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool RemoveFile(const std::string& path);
// Appends (or, without `append`, replaces) bytes; opens and closes the file on
// every call. Returns whether a file of that name exists afterwards; `written`
// (when given) tells whether the file was opened and every byte written.
bool AppendToFile(const std::string& path, const char* bytes, std::size_t count, bool append,
                  bool* written = nullptr);
// Whether the file (not what a link names) belongs to the user the program
// runs as. Always true on Windows, where a file can be deleted if the system
// lets the program do it.
bool IsOwnFile(const std::string& path);

// A file written piece by piece: created (an existing one is replaced),
// written to, and flushed to the disk as it is closed. Finishing returns true
// only when every write and the flush succeeded; the handle is none after.
FileHandle CreateFileForWrite(const std::string& path);
bool WriteToFile(FileHandle handle, const char* bytes, std::size_t count);
bool FinishWrittenFile(FileHandle& handle);
// Renames `from` to `to` in one step, replacing a file `to` that exists
// (rename / MoveFileExA with MOVEFILE_REPLACE_EXISTING).
bool MoveIntoPlace(const std::string& from, const std::string& to);

// How a report path is written. `Replace`: a regular file or none, written
// whole beside `path` and renamed over it; when the given path is a symbolic
// link, `path` is the file it finally names, so the link stays and its
// target is replaced. `InPlace`: a FIFO, device or other file that is not a
// regular one, written directly at `path`. `Unusable`: a chain of links that
// never ends.
struct ReportTarget {
  enum class Kind { Replace, InPlace, Unusable };
  Kind kind = Kind::Replace;
  std::string path;
};
ReportTarget ResolveReportTarget(const std::string& path);
// Writes the bytes into an existing file that is not a regular one, without
// creating or truncating anything; a FIFO without a reader fails at once
// instead of waiting for one. True when every byte was written.
bool WriteInPlace(const std::string& path, const char* bytes, std::size_t count);
// A text of the system's own code page as UTF-8: converted from the ANSI
// code page on Windows, unchanged on POSIX (whose texts are UTF-8 already).
std::string TextToUtf8(std::string_view text);

struct DirEntry {
  std::string name;
  bool isDirectory = false;
  std::uint64_t lastWriteTime = 0;  // 100-ns units since 1601-01-01
  std::uint64_t size = 0;
};
// Entries of `folder` (no trailing separator) matching the wildcard pattern
// (? one character, * any run). "." and ".." are returned too when they match.
std::vector<DirEntry> FindEntries(const std::string& folder, const std::string& pattern);

// ---------------------------------------------------------------- paths

struct PathParts {
  std::string drive;      // "D:" on Windows, always empty on POSIX
  std::string folder;     // with its trailing separator, or empty
  std::string name;       // without extension
  std::string extension;  // with its leading '.', or empty
};
PathParts SplitPath(const std::string& path);
// Index of the first byte `c` at or after `from` (a character boundary) that
// is a character of its own: on Windows the second byte of a double-byte
// character of the ANSI code page (which may be 0x5C, '\\') is stepped over;
// on POSIX it is a plain byte search. npos when there is none.
std::size_t FindAnsiChar(std::string_view text, char c, std::size_t from = 0);
// The folder separator of the platform ('\\' or '/').
char PathSeparator();
// Option words start with '-' or '/' on Windows and with '-' alone on POSIX.
bool IsOptionPrefix(char c);

// A path or source text as a message embeds it: the texts are CP932, so on
// POSIX a text that is valid UTF-8 is converted (a character without a CP932
// form becomes '?') and any other text is kept as bytes. On Windows paths are
// in the ANSI code page already and are kept as they are. Files are always
// opened by their real names; this is for messages only.
std::string PathForMessage(std::string_view path);

// The system temporary folder, with a trailing separator.
std::string TempFolder();
// Full path of the running executable.
std::string ExecutablePath();
// CompanyName or Comments from the program's version information.
std::optional<std::string> ReadVersionString(const std::string& exePath, const std::string& key);
// The usage screen's syntax line, a format filled with the program's base
// name: the program file with its ".exe" on Windows, the plain name on POSIX.
const char* UsageSyntaxFormat();

// ---------------------------------------------------------------- process

int ProcessId();
// Waits for one key from the console without echo and returns it (on POSIX
// from the controlling terminal, never from standard input); -1 when there
// is none to be had, or when `stop` (asked about ten times a second
// where the wait can be interrupted) answers true first.
int ReadKeyNoEcho(bool (*stop)() = nullptr);
void SleepMs(unsigned milliseconds);
// Starts a detached thread that runs routine(argument). 0 when it started,
// else the system's own error code (GetLastError on Windows, the result of
// pthread_create on POSIX).
int StartDetachedThread(void (*routine)(void*), void* argument);
// Calendar time in whole seconds.
std::int64_t CalendarSeconds();
// Gives the memory freed so far back to the system where the allocator
// keeps it, so that a large passing use does not stay resident.
void ReturnFreedMemory();
// A count that grows with the processor time the calling thread has used:
// nanoseconds on POSIX, cycles on Windows (the performance counter's ticks
// where the system cannot tell, as under Wine). Only differences taken on
// one thread mean anything.
std::uint64_t ThreadCpuTicks();
// The last system error code of the calling thread (GetLastError / errno).
int LastErrorCode();
// The process exit status for a drop total: 32-bit on Windows, saturating at
// 255 on POSIX so that a run with drops never exits 0.
int ExitStatusFor(std::int32_t total);

// ---------------------------------------------------------------- console

// Writes console text (CP932) to standard output, or to standard error once
// MoveConsoleToStandardError was called. On POSIX, where the locale's charset
// is UTF-8, the text is shown in UTF-8 with LF line ends (CR LF becomes LF),
// on a terminal, in a file or a pipe alike; in other locales, and on
// Windows, the bytes are written unchanged.
void ConsoleWrite(const char* bytes, std::size_t count);
// Writes text to standard error the way ConsoleWrite shows it.
void ErrorWrite(const char* bytes, std::size_t count);
// Writes bytes to standard output unchanged (a report sent there); true when
// every byte was written.
bool WriteStandardOutput(const char* bytes, std::size_t count);
// Sends all later console text to standard error, so that standard output
// carries only a report. Called before the first console output.
void MoveConsoleToStandardError();
// Whether the console can show a progress line rewritten in place: on POSIX
// only a terminal; on Windows always.
bool ConsoleShowsProgress();
// Whether notices about the command line and the log go to standard error:
// on POSIX; on Windows they stay on the console.
bool NoticesUseStandardError();
// Whether standard error is another file than the console goes to, so that
// a notice shown on both is not seen twice on one terminal or in one file.
bool ErrorIsApartFromConsole();
void ConsoleFlush();
void AllocConsoleIfNeeded();
// Drains the calling thread's window-message queue without waiting.
void PumpMessages();

enum class ConsoleEvent { CtrlC, Close, Other };
// Returns true when the event was handled; false leaves the default action.
using ConsoleHandler = bool (*)(ConsoleEvent);
// Installs the handler. On POSIX a dedicated thread waits for SIGINT, SIGHUP
// and SIGTERM and calls it, so the handler may print.
bool InstallConsoleControlHandler(ConsoleHandler handler);

// ---------------------------------------------------------------- sync

// A manual-reset event (CreateEventA on Windows, mutex + condition variable
// on POSIX). Named on Windows when a name is given.
class Event {
 public:
  virtual ~Event() = default;
  virtual void Set() = 0;
  virtual void Reset() = 0;
  virtual void Wait() = 0;  // without time-out
};
std::unique_ptr<Event> CreateManualResetEvent(const std::string& name, bool initiallySet);

// ---------------------------------------------------------------- libraries

class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;  // unloads the library
  virtual void* Symbol(const char* name) = 0;
};
// Loads a library by path (LoadLibraryA / dlopen with RTLD_NOW); null on failure.
std::unique_ptr<DynamicLibrary> LoadDynamicLibrary(const std::string& path);

// ---------------------------------------------------------------- time

// A date and time of the machine's local zone to seconds since 1970 UTC.
bool LocalTimeToEpoch(const SystemTime& local, std::int64_t* seconds);
// Seconds since 1970 UTC to the machine's local date and time.
bool EpochToLocalTime(std::int64_t seconds, SystemTime* local);

}  // namespace kestrun::platform
