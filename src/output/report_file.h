// Writing a whole file so that readers only ever see the old contents or
// the new ones.
#pragma once

#include <string>

namespace kestrun {

// Writes the bytes to a temporary file beside `path` and renames it into
// place. False when the file could not be written; `path` is then untouched
// and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace kestrun
