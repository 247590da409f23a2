// Shared pieces of the tuner tests: console capture, a byte pattern to serve,
// the test driver's configuration and its call log.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "output/console.h"

namespace kestrun::testing {

// Captures console output with the console on (and noprogress as asked) and
// no log file; restores the previous state afterwards.
class ConsoleCapture final : public ByteSink {
 public:
  explicit ConsoleCapture(std::uint32_t consoleFlags = 0x80000000u);
  ~ConsoleCapture() override;
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  void Write(const char* bytes, std::size_t count) override;
  void Flush() override {}
  std::string Text();

 private:
  std::mutex mutex_;
  std::string text_;
  std::uint32_t savedFlags_;
  std::string savedLogTarget_;
  std::uint32_t savedLogFlags_;
};

// A byte pattern with a period of 251 * 256 bytes, so a lost, repeated or
// misplaced block shows when the received bytes are compared with it.
std::string BytePattern(std::size_t size);

// Points the test driver at a configuration file (through the environment)
// for as long as it lives.
class DriverConfigScope {
 public:
  DriverConfigScope(const std::string& configPath, const std::string& contents);
  ~DriverConfigScope();
  DriverConfigScope(const DriverConfigScope&) = delete;
  DriverConfigScope& operator=(const DriverConfigScope&) = delete;
};

// The lines of the driver's call log (none when it was never written).
std::vector<std::string> CallLogLines(const std::string& path);

}  // namespace kestrun::testing
