// A tuner driver in the MSVC C++ ABI, built without a C runtime: its objects
// carry MSVC type information, as a real Windows driver's do. It serves a
// stream file in blocks and appends one line per call it receives to a call
// log, in the same words as the project's own test driver.
//
// Configuration: key=value lines in the file named by the environment
// variable KESTRUN_TEST_DRIVER_CONFIG, or else in "<library path>.conf":
//   file=PATH        stream served by FetchStream, one block per call
//   block=BYTES      block size (default 3008 = 16 packets)
//   pace_us=N        pause inside every FetchStream call, in whole
//                    milliseconds (default 1000)
//   mode=normal|noext|openfail  noext: an object without the extended
//                    interface; openfail: Open returns 0
//   calllog=PATH     one line appended per call received
//   resend=0|1       a FlushStream right after a block was handed out makes
//                    the next FetchStream hand out that block again
//   signal=L[,L...]  the levels GetSignalLevel gives, one per call and over
//                    again after the last; "nan", "inf" or "fail" give one
//                    that is not finite; each call is logged. Without it
//                    the level is NaN and the call is not logged
#include "../test_bondriver/driver_slots.h"
#include "text.h"
#include "win32_api.h"

namespace {

constexpr DWORD kConfigLimit = 4096;
constexpr DWORD kLevelLimit = 16;

// A decimal level such as "-3" or "21.25"; "inf" is infinity and anything
// else without a digit ("nan", "fail") is NaN.
float LevelOf(const Text& text) {
  if (text.Is("inf")) return __builtin_inff();
  DWORD at = 0;
  const bool negative = text.size() > 0 && text.At(0) == '-';
  if (negative) ++at;
  float value = 0.0f;
  float scale = 0.0f;  // 0 before the point, then the place of the next digit
  bool digits = false;
  for (; at < text.size(); ++at) {
    const char c = text.At(at);
    if (c == '.' && scale == 0.0f) {
      scale = 0.1f;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      if (scale == 0.0f) {
        value = value * 10.0f + static_cast<float>(c - '0');
      } else {
        value += scale * static_cast<float>(c - '0');
        scale *= 0.1f;
      }
    } else {
      break;
    }
  }
  if (!digits) return __builtin_nanf("");
  return negative ? -value : value;
}

struct Config {
  Text file;
  Text callLog;
  DWORD block = 188 * 16;
  DWORD paceMs = 1;
  bool extended = true;
  bool openFails = false;
  bool resend = false;
  float levels[kLevelLimit] = {};
  DWORD levelCount = 0;
};

void ApplyLevels(Config& config, const Text& list) {
  config.levelCount = 0;
  DWORD start = 0;
  while (start <= list.size() && config.levelCount < kLevelLimit) {
    DWORD end = start;
    while (end < list.size() && list.At(end) != ',') ++end;
    config.levels[config.levelCount++] = LevelOf(list.Trimmed(start, end));
    start = end + 1;
  }
}

void Apply(Config& config, const Text& key, const Text& value) {
  if (key.Is("file")) config.file.Assign(value);
  if (key.Is("calllog")) config.callLog.Assign(value);
  if (key.Is("block") && value.Number() > 0) config.block = value.Number();
  if (key.Is("pace_us")) config.paceMs = value.Number() / 1000;
  if (key.Is("mode")) {
    config.extended = !value.Is("noext");
    config.openFails = value.Is("openfail");
  }
  if (key.Is("resend")) config.resend = value.Number() != 0;
  if (key.Is("signal")) ApplyLevels(config, value);
}

Text ConfigPath() {
  Text path;
  char buffer[512];
  DWORD length = GetEnvironmentVariableA("KESTRUN_TEST_DRIVER_CONFIG", buffer, sizeof buffer);
  if (length > 0 && length < sizeof buffer) {
    path.Append(buffer, length);
    return path;
  }
  length = GetModuleFileNameA(&__ImageBase, buffer, sizeof buffer);
  if (length > 0 && length < sizeof buffer) {
    path.Append(buffer, length);
    path.Append(".conf");
  }
  return path;
}

Config LoadConfig() {
  Config config;
  const Text path = ConfigPath();
  HANDLE file = CreateFileA(path.c_str(), kGenericRead, kShareReadWrite, nullptr, kOpenExisting, 0,
                            nullptr);
  if (file == kInvalidHandle) return config;
  // On the heap: a page or more on the stack would need the runtime's probe.
  Text content;
  char* buffer = static_cast<char*>(operator new(kConfigLimit));
  DWORD got = 0;
  if (buffer != nullptr && ReadFile(file, buffer, kConfigLimit, &got, nullptr)) {
    content.Append(buffer, got);
  }
  operator delete(buffer);
  CloseHandle(file);
  ForEachLine(content, [&config](const Text& key, const Text& value) { Apply(config, key, value); });
  return config;
}

void LogCall(const Config& config, const char* line) {
  if (config.callLog.empty()) return;
  HANDLE log = CreateFileA(config.callLog.c_str(), kFileAppendData, kShareReadWrite, nullptr,
                           kOpenAlways, 0, nullptr);
  if (log == kInvalidHandle) return;
  Text record;
  record.Append(line);
  record.Append("\n");
  DWORD written = 0;
  WriteFile(log, record.c_str(), record.size(), &written, nullptr);
  CloseHandle(log);
}

// The behaviour shared by both driver classes.
class DriverCore {
 public:
  explicit DriverCore(const Config& config) : config_(config) {
    block_ = static_cast<unsigned char*>(operator new(config_.block));
  }
  ~DriverCore() {
    CloseStream();
    operator delete(block_);
  }
  DriverCore(const DriverCore&) = delete;
  DriverCore& operator=(const DriverCore&) = delete;

  void Log(const char* line) { LogCall(config_, line); }

  int32_t Open() {
    Log("Open");
    if (config_.openFails) return 0;
    CloseStream();
    if (!config_.file.empty()) {
      stream_ = CreateFileA(config_.file.c_str(), kGenericRead, kShareReadWrite, nullptr,
                            kOpenExisting, 0, nullptr);
    }
    handedOut_ = 0;
    resend_ = false;
    return 1;
  }

  void Close() {
    Log("Close");
    CloseStream();
  }

  float SignalLevel() {
    if (config_.levelCount == 0) return __builtin_nanf("");
    Log("GetSignalLevel");
    return config_.levels[signalCalls_++ % config_.levelCount];
  }

  int32_t Fetch(uint8_t** block, uint32_t* size, uint32_t* remain) {
    Sleep(config_.paceMs);
    if (remain != nullptr) *remain = 0;
    DWORD got = handedOut_;  // a block handed out again is still in block_
    if (!resend_) got = ReadBlock();
    resend_ = false;
    handedOut_ = got;
    if (got == 0) return 0;
    if (block != nullptr) *block = block_;
    if (size != nullptr) *size = got;
    return 1;
  }

  void Flush() {
    Log("FlushStream");
    resend_ = config_.resend && handedOut_ > 0;
  }

  int32_t Select(uint32_t space, uint32_t channel) {
    Text line;
    line.Append("SelectSpaceChannel ");
    line.AppendNumber(space);
    line.Append(" ");
    line.AppendNumber(channel);
    Log(line.c_str());
    return 1;
  }

 private:
  DWORD ReadBlock() {
    DWORD got = 0;
    if (stream_ == kInvalidHandle || !ReadFile(stream_, block_, config_.block, &got, nullptr)) return 0;
    return got;
  }

  void CloseStream() {
    if (stream_ != kInvalidHandle) CloseHandle(stream_);
    stream_ = kInvalidHandle;
  }

  Config config_;
  unsigned char* block_ = nullptr;
  HANDLE stream_ = kInvalidHandle;
  DWORD handedOut_ = 0;
  bool resend_ = false;
  DWORD signalCalls_ = 0;
};

}  // namespace

extern "C" __declspec(dllexport) IBonDriver* CreateBonDriver() {
  const Config config = LoadConfig();
  LogCall(config, "CreateBonDriver");
  if (!config.extended) return new test_bondriver::PlainDriver<DriverCore>(config);
  return new test_bondriver::ExtendedDriver<DriverCore>(config);
}
