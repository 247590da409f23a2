// The command-line walk fed arbitrary argument vectors: the input split at
// its zero bytes, after a program name. Each vector is walked twice, with the
// POSIX option prefix ('-') and with the Windows ones ('-' and '/'), and a
// duration text it leaves is handed on to the play-time windows as the
// worker would.
//
// Besides crashing, the walk must keep these promises:
// - every source is an argument of the vector (or the value of a
//   --srcpath=value argument), in command-line order, and none is empty or
//   an option word;
// - noprogress is the only bit it adds to the console flags;
// - a duration text, when set, is never empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "support/run_flags.h"
#include "worker/play_windows.h"

namespace kestrun {
namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The argument itself, or the value after '=' of a --word=value argument.
bool NamesSource(const std::string& argument, const std::string& source) {
  const std::size_t equals = argument.find('=');
  return argument == source ||
         (argument.rfind("--", 0) == 0 && equals != std::string::npos && argument.substr(equals + 1) == source);
}

bool PosixPrefix(char c) { return c == '-'; }
bool WindowsPrefix(char c) { return c == '-' || c == '/'; }

void WalkOnce(const std::vector<std::string>& arguments, OptionPrefixTest isOptionPrefix) {
  std::vector<const char*> argv{"kestrun"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());

  JobSettings settings;
  SourceList sources;
  std::uint32_t consoleFlags = kConsoleOn;
  ParseCommandLine(static_cast<int>(argv.size()), argv.data(), settings, sources, consoleFlags,
                   isOptionPrefix);

  Check((consoleFlags & ~(kConsoleOn | kConsoleNoProgress)) == 0 && (consoleFlags & kConsoleOn));
  std::size_t next = 0;  // sources appear in argument order
  for (const std::string& source : sources) {
    Check(!source.empty() && !isOptionPrefix(source.front()));
    while (next < arguments.size() && !NamesSource(arguments[next], source)) ++next;
    Check(next < arguments.size());
    ++next;
  }
  if (settings.durationText) {
    Check(!settings.durationText->empty());
    DurationWindows windows;
    StartWindows(windows, *settings.durationText);
    // No time the text can name comes near the end of the 64-bit range, so
    // at that play time every window has passed but an open-ended one.
    (void)WindowGate(windows, kNoWindowEnd - 1, false);
    Check(!windows.windowCursor || windows.windowEnd == kNoWindowEnd);
  }
}

}  // namespace
}  // namespace kestrun

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back().push_back(static_cast<char>(data[i]));
    }
  }
  kestrun::WalkOnce(arguments, kestrun::PosixPrefix);
  kestrun::WalkOnce(arguments, kestrun::WindowsPrefix);
  return 0;
}
