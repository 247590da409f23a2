#include "test_driver.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "call_log.h"
#include "driver_config.h"
#include "driver_slots.h"

namespace test_bondriver {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<std::uint64_t> allowance{0};

// The behaviour shared by both driver classes.
class DriverCore {
 public:
  explicit DriverCore(const DriverConfig& config)
      : config_(config), log_(config.callLog), block_(config.block) {}
  ~DriverCore() { CloseFile(); }
  DriverCore(const DriverCore&) = delete;
  DriverCore& operator=(const DriverCore&) = delete;

  void Log(const std::string& line) { log_.Line(line); }

  std::int32_t Open() {
    Log("Open");
    if (config_.mode == DriverMode::OpenFail) return 0;
    CloseFile();
    if (!config_.file.empty()) file_ = std::fopen(config_.file.c_str(), "rb");
    openedAt_ = Clock::now();
    fetchCalls_ = 0;
    delivered_ = 0;
    handedOut_ = 0;
    resend_ = false;
    drainedMarked_ = false;
    passesServed_ = 0;
    return 1;
  }

  void Close() {
    Log("Close");
    CloseFile();
  }

  float SignalLevel() {
    if (config_.signal.empty()) return std::numeric_limits<float>::quiet_NaN();
    Log("GetSignalLevel");
    return config_.signal[signalCalls_++ % config_.signal.size()];
  }

  std::int32_t Fetch(std::uint8_t** block, std::uint32_t* size, std::uint32_t* remain) {
    Pace();
    ++fetchCalls_;
    if (remain != nullptr) *remain = 0;
    std::size_t got = 0;
    if (resend_) {
      got = handedOut_;  // the block is still in block_, untouched
      resend_ = false;
    } else if (!Stalled() && !Gated()) {
      got = ReadBlock();
      delivered_ += got;
      if (got == 0) MarkDrained();
    }
    handedOut_ = got;
    if (got == 0) return Idle(block, size);
    if (block != nullptr) *block = block_.data();
    if (size != nullptr) *size = static_cast<std::uint32_t>(got);
    return 1;
  }

  void Flush() {
    Log("FlushStream");
    resend_ = config_.resend && handedOut_ > 0;
  }

  std::int32_t Select(std::uint32_t space, std::uint32_t channel) {
    Log("SelectSpaceChannel " + std::to_string(space) + " " + std::to_string(channel));
    return 1;
  }

 private:
  // The pause before a fetch: at the start of each burst only.
  void Pace() const {
    if (fetchCalls_ % config_.burst != 0) return;
    if (config_.rate > 0) {
      const double bytes = static_cast<double>(fetchCalls_) * config_.block;
      std::this_thread::sleep_until(
          openedAt_ + std::chrono::duration_cast<Clock::duration>(
                          std::chrono::duration<double>(bytes / static_cast<double>(config_.rate))));
    } else if (config_.paceUs > 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(std::uint64_t{config_.paceUs} * config_.burst));
    }
  }

  bool Stalled() const {
    if (fetchCalls_ <= config_.stallCalls) return true;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - openedAt_);
    return elapsed.count() < static_cast<long long>(config_.stallMs);
  }

  bool Gated() const { return config_.gate && delivered_ >= allowance.load(); }

  std::size_t ReadBlock() {
    if (file_ == nullptr) return 0;
    std::size_t got = std::fread(block_.data(), 1, block_.size(), file_);
    if (got == 0 && (config_.loop || ++passesServed_ < config_.passes)) {
      std::rewind(file_);
      got = std::fread(block_.data(), 1, block_.size(), file_);
    }
    return got;
  }

  // Once per Open, and only for a file that was served to its end.
  void MarkDrained() {
    if (drainedMarked_ || file_ == nullptr || config_.drained.empty()) return;
    drainedMarked_ = true;
    if (std::FILE* marker = std::fopen(config_.drained.c_str(), "wb")) std::fclose(marker);
  }

  std::int32_t Idle(std::uint8_t** block, std::uint32_t* size) {
    if (block != nullptr) *block = config_.idle == 2 ? block_.data() : nullptr;
    if (size != nullptr) *size = 0;
    return config_.idle == 0 ? 0 : 1;
  }

  void CloseFile() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }

  DriverConfig config_;
  CallLog log_;
  std::vector<std::uint8_t> block_;
  std::FILE* file_ = nullptr;
  Clock::time_point openedAt_ = Clock::now();
  std::uint64_t fetchCalls_ = 0;
  std::uint64_t delivered_ = 0;
  std::size_t handedOut_ = 0;  // size of the block of the last fetch, 0 for none
  bool resend_ = false;
  bool drainedMarked_ = false;
  std::size_t signalCalls_ = 0;
  std::uint64_t passesServed_ = 0;
};

}  // namespace

IBonDriver* CreateTestDriver() {
  const DriverConfig config = LoadDriverConfig();
  {
    CallLog log(config.callLog);
    log.Line("CreateBonDriver");
  }
  switch (config.mode) {
    case DriverMode::NullFactory:
      return nullptr;
    case DriverMode::NoExtension:
      return new PlainDriver<DriverCore>(config);
    default:
      return new ExtendedDriver<DriverCore>(config);
  }
}

}  // namespace test_bondriver

extern "C" void TestDriverAllow(std::uint64_t bytes) { test_bondriver::allowance.store(bytes); }
