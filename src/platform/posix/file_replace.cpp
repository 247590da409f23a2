#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/write_whole.h"

namespace kestrun::platform {

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  return !from.empty() && !to.empty() && std::rename(from.c_str(), to.c_str()) == 0;
}

std::string TextToUtf8(std::string_view text) { return std::string(text); }

}  // namespace kestrun::platform
