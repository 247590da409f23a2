// The split of a file name (no folder part) into name and extension, shared
// by both platforms' SplitPath.
#pragma once

#include <string>

#include "platform/platform.h"

namespace kestrun::platform {

// The extension starts at the last '.', which is never the second byte of a
// double-byte character.
inline void SplitFileName(const std::string& file, PathParts& parts) {
  const std::size_t dot = file.rfind('.');
  if (dot == std::string::npos) {
    parts.name = file;
  } else {
    parts.name = file.substr(0, dot);
    parts.extension = file.substr(dot);
  }
}

}  // namespace kestrun::platform
