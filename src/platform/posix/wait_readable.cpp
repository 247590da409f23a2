#include <poll.h>

#include "platform/platform.h"

namespace kestrun::platform {

bool WaitReadable(FileHandle handle, unsigned milliseconds) {
  if (!handle.valid()) return true;
  pollfd entry{};
  entry.fd = static_cast<int>(handle.native());
  entry.events = POLLIN;
  const int ready = ::poll(&entry, 1, static_cast<int>(milliseconds));
  // Errors and regular files count as readable: the read call tells.
  return ready != 0;
}

}  // namespace kestrun::platform
