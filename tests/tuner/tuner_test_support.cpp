#include "tuner/tuner_test_support.h"

#include <cstdlib>
#include <fstream>

#include "output/message.h"
#include "support/run_flags.h"

namespace kestrun::testing {

ConsoleCapture::ConsoleCapture(std::uint32_t consoleFlags)
    : savedFlags_(ConsoleFlags.load()), savedLogTarget_(LogTarget()), savedLogFlags_(LogFlags()) {
  SetLogTarget("", 0);
  ConsoleFlags.store(consoleFlags);
  SetConsoleSink(this);
}

ConsoleCapture::~ConsoleCapture() {
  SetConsoleSink(nullptr);
  ConsoleFlags.store(savedFlags_);
  SetLogTarget(savedLogTarget_, savedLogFlags_);
}

void ConsoleCapture::Write(const char* bytes, std::size_t count) {
  std::lock_guard lock(mutex_);
  text_.append(bytes, count);
}

std::string ConsoleCapture::Text() {
  std::lock_guard lock(mutex_);
  return text_;
}

std::string BytePattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i % 251) ^ ((i / 251) & 0xFF));
  }
  return bytes;
}

DriverConfigScope::DriverConfigScope(const std::string& configPath, const std::string& contents) {
  std::ofstream(configPath, std::ios::binary) << contents;
  setenv("KESTRUN_TEST_DRIVER_CONFIG", configPath.c_str(), 1);
}

DriverConfigScope::~DriverConfigScope() { unsetenv("KESTRUN_TEST_DRIVER_CONFIG"); }

std::vector<std::string> CallLogLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace kestrun::testing
