#include "worker/file_byte_source.h"

#include "support/run_flags.h"

namespace kestrun {

namespace {
constexpr unsigned kStopPollMs = 100;
// Between polls of an input at its end: short enough for stop requests.
constexpr unsigned kEndPollMs = 20;
}  // namespace

SourceRead FileByteSource::Read(std::uint8_t* destination, std::uint32_t room) {
  if (interruptible_) {
    while (!platform::WaitReadable(handle_, kStopPollMs)) {
      if (StopRequested()) return {false, 0};
    }
  }
  const platform::ReadResult result = platform::ReadFile(handle_, destination, room);
  atEnd_ = !result.ok || result.count == 0;
  return {result.ok, result.count};
}

void FileByteSource::WaitForData() {
  // Data that gave no packet yet is followed by more at once; only an input
  // at its end is waited for.
  if (atEnd_) platform::SleepMs(kEndPollMs);
}

}  // namespace kestrun
