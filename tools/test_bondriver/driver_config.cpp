#include "driver_config.h"

#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace test_bondriver {
namespace {

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::uint64_t Number(const std::string& text) { return std::strtoull(text.c_str(), nullptr, 10); }

DriverMode ModeNamed(const std::string& name) {
  if (name == "nullfactory") return DriverMode::NullFactory;
  if (name == "openfail") return DriverMode::OpenFail;
  if (name == "noext") return DriverMode::NoExtension;
  if (name == "stall") return DriverMode::Stall;
  return DriverMode::Normal;
}

// A level list "20,21.5,nan": strtof reads "nan" and "inf" itself; "fail"
// (or anything else without a number) is a failing call, NaN.
std::vector<float> Levels(const std::string& text) {
  std::vector<float> levels;
  std::istringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    const std::string trimmed = Trim(item);
    char* end = nullptr;
    const float level = std::strtof(trimmed.c_str(), &end);
    levels.push_back(end != trimmed.c_str() ? level : std::numeric_limits<float>::quiet_NaN());
  }
  return levels;
}

void Apply(DriverConfig& config, const std::string& key, const std::string& value) {
  if (key == "file") config.file = value;
  if (key == "block") config.block = static_cast<std::uint32_t>(Number(value));
  if (key == "pace_us") config.paceUs = static_cast<std::uint32_t>(Number(value));
  if (key == "rate") config.rate = Number(value);
  if (key == "burst") config.burst = static_cast<std::uint32_t>(Number(value));
  if (key == "loop") config.loop = Number(value) != 0;
  if (key == "passes") config.passes = Number(value);
  if (key == "mode") config.mode = ModeNamed(value);
  if (key == "stall_calls") config.stallCalls = Number(value);
  if (key == "stall_ms") config.stallMs = static_cast<std::uint32_t>(Number(value));
  if (key == "idle") config.idle = static_cast<int>(Number(value));
  if (key == "calllog") config.callLog = value;
  if (key == "drained") config.drained = value;
  if (key == "gate") config.gate = Number(value) != 0;
  if (key == "resend") config.resend = Number(value) != 0;
  if (key == "signal") config.signal = Levels(value);
}

std::string ConfigPath() {
  const char* named = std::getenv("KESTRUN_TEST_DRIVER_CONFIG");
  if (named != nullptr && *named != '\0') return named;
  const std::string module = OwnModulePath();
  return module.empty() ? std::string() : module + ".conf";
}

}  // namespace

DriverConfig LoadDriverConfig() {
  DriverConfig config;
  const std::string path = ConfigPath();
  if (path.empty()) return config;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const std::string trimmed = Trim(line);
    const std::size_t equals = trimmed.find('=');
    if (trimmed.empty() || trimmed[0] == '#' || equals == std::string::npos) continue;
    Apply(config, Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1)));
  }
  if (config.block == 0) config.block = 188;
  if (config.burst == 0) config.burst = 1;
  if (config.mode == DriverMode::Stall && config.stallCalls == 0 && config.stallMs == 0) {
    config.stallCalls = 1000;
  }
  return config;
}

}  // namespace test_bondriver
