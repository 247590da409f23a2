// Writing report files: whole, so that readers only ever see the old contents
// or the new ones, without harm to what the path names.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kestrun {

// The report path that means standard output. A run that sends a report
// there shows its console text on standard error instead.
inline constexpr char kStandardOutputPath[] = "-";
bool IsStandardOutputPath(const std::string& path);

// Writes a whole report to `path`:
// - "-": standard output, unchanged;
// - a regular file or none: beside it first, then renamed over it;
// - a symbolic link: the file it finally names, replaced the same way (the
//   link stays);
// - a FIFO, device or other file that is not a regular one: written into
//   directly, without a temporary file (a FIFO needs its reader waiting).
// False when the report could not be written; a file that was to be
// replaced is then untouched and no temporary file is left behind.
bool WriteReportFile(const std::string& path, const std::string& bytes);

// Takes the next piece of the file; false once the file cannot be written
// (the producer may then stop early).
using FileChunkSink = std::function<bool(std::string_view)>;

// Writes what `produce` hands its sink, piece by piece, to a temporary file
// beside `path` and renames it into place, so a large document is never
// held whole in memory. False when the file could not be written; `path`
// is then untouched and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, const std::function<void(const FileChunkSink&)>& produce);
// WriteReportFile for a report handed out piece by piece: a file that is
// replaced, and standard output, never hold it whole in memory.
bool WriteReportFile(const std::string& path, const std::function<void(const FileChunkSink&)>& produce);

// The same for bytes at hand.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace kestrun
