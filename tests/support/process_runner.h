// Runs a program as a child process with real pipes, for end-to-end tests.
#pragma once

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrun::testing {

struct ProcessOptions {
  std::vector<std::pair<std::string, std::string>> env;  // added or replaced
  std::vector<std::string> unsetEnv;
  std::string workingDirectory;
  // The child starts a session of its own, without a controlling terminal.
  bool newSession = false;
  // Bytes written to the child's standard input, which is then closed unless
  // keepStdinOpen is set (then it is closed when the child has ended).
  // Without stdinData standard input is /dev/null.
  std::optional<std::string> stdinData;
  bool keepStdinOpen = false;
  // Sends `signal` once standard output contains `signalWhen` (or after
  // `signalAfter` when signalWhen is empty). With signalAfterStdinRead,
  // signalAfter counts from the moment the child has read all of stdinData.
  int signal = 0;
  std::string signalWhen;
  std::chrono::milliseconds signalAfter{0};
  bool signalAfterStdinRead = false;
  std::chrono::milliseconds timeout{60000};
};

struct ProcessResult {
  int exitCode = -1;     // exit status, or -1 when killed by a signal
  int termSignal = 0;    // the signal that ended the child, if any
  bool timedOut = false;
  std::string out;
  std::string err;
  long maxRssKib = 0;  // the child's peak resident set
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

}  // namespace kestrun::testing
