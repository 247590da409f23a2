// Writing a whole file so that readers only ever see the old contents or
// the new ones.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kestrun {

// Takes the next piece of the file; false once the file cannot be written
// (the producer may then stop early).
using FileChunkSink = std::function<bool(std::string_view)>;

// Writes what `produce` hands its sink, piece by piece, to a temporary file
// beside `path` and renames it into place, so a large document is never
// held whole in memory. False when the file could not be written; `path`
// is then untouched and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, const std::function<void(const FileChunkSink&)>& produce);

// The same for bytes at hand.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace kestrun
