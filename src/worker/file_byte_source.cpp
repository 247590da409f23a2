#include "worker/file_byte_source.h"

#include "support/run_flags.h"

namespace kestrun {

namespace {
constexpr unsigned kStopPollMs = 100;
}

SourceRead FileByteSource::Read(std::uint8_t* destination, std::uint32_t room) {
  if (interruptible_) {
    while (!platform::WaitReadable(handle_, kStopPollMs)) {
      if (StopRequested()) return {false, 0};
    }
  }
  const platform::ReadResult result = platform::ReadFile(handle_, destination, room);
  return {result.ok, result.count};
}

}  // namespace kestrun
