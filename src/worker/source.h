// What a job's source text names, and opening it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "worker/byte_source.h"

namespace kestrun {

enum class SourceKind : int { Invalid = -1, File = 0, StdIn = 1, Pipe = 2, Tuner = 3 };

inline constexpr char kStdInSource[] = "CON";
inline constexpr char kPipePrefix[] = "\\\\.\\pipe\\";
inline constexpr char kTunerPrefix[] = "\\\\.\\bondriver\\";

struct ClassifiedSource {
  SourceKind kind = SourceKind::Invalid;
  std::int64_t startOffset = 0;  // File only
};

// Cuts `sourcePath` in place at its first ';' and classifies what is left:
// exactly "CON" is standard input, the pipe and tuner prefixes name those
// sources, a FIFO path is a pipe, an existing path is a file (with the start
// offset written after the ';'), anything else is invalid.
ClassifiedSource ClassifySource(std::string& sourcePath);

bool StartsWith(const std::string& text, const char* prefix);

// Standard input is the source text CON itself (its part before any ';'),
// never a longer name that begins with those letters, such as CONCERT.ts.
inline bool NamesStdIn(const std::string& pathPart) { return pathPart == kStdInSource; }

// Opens a file, standard input or pipe source. A pipe is retried in 333 ms
// steps for about five seconds of calendar time, or until a stop request.
platform::FileHandle OpenSource(SourceKind kind, const std::string& path);

// The reader of an opened file, standard input or pipe source. A regular
// file is scanned in place, in views of its cached pages or in cache-sized
// read slices; anything that may wait for a writer (a pipe, standard input,
// a device named as a file) is read with a plain read call that can give up
// when a stop is requested. `capacity`: the read buffer's size.
std::unique_ptr<ByteSource> OpenByteSource(SourceKind kind, platform::FileHandle handle,
                                           std::uint32_t capacity);

// The read buffer size: the bufsize value taken as unsigned when it is at
// least 256 packets, the build's default otherwise.
inline constexpr std::uint32_t kMinimumReadBufferSize = 0xBC00;
inline constexpr std::uint32_t kDefaultReadBufferSize =
    sizeof(void*) >= 8 ? 0x6400000u : 0x1400000u;
std::uint32_t ReadBufferCapacity(std::int32_t bufsize);

// Moves the read position for a start offset: positive from the start,
// negative -N from the end with distance -N + 1 (one before the start stays
// put). Returns the position reading starts at, or nothing when a positive
// offset cannot be reached: like an offset past the end, it leaves nothing
// to read.
std::optional<std::int64_t> ApplyStartOffset(platform::FileHandle handle, std::int64_t startOffset);

}  // namespace kestrun
