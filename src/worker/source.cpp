#include "worker/source.h"

#include <cstring>

#include "support/decimal.h"
#include "support/run_flags.h"
#include "worker/file_byte_source.h"
#include "worker/regular_file_source.h"

namespace kestrun {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

ClassifiedSource ClassifySource(std::string& sourcePath) {
  ClassifiedSource result;
  std::string offsetText;
  const std::size_t semicolon = sourcePath.find(';');
  if (semicolon != std::string::npos) {
    offsetText = sourcePath.substr(semicolon + 1);
    sourcePath.resize(semicolon);
  }
  if (sourcePath.empty()) return result;
  if (NamesStdIn(sourcePath)) {
    result.kind = SourceKind::StdIn;
  } else if (StartsWith(sourcePath, kPipePrefix)) {
    result.kind = SourceKind::Pipe;
  } else if (StartsWith(sourcePath, kTunerPrefix)) {
    result.kind = SourceKind::Tuner;
  } else if (!platform::PathExists(sourcePath)) {
    result.kind = SourceKind::Invalid;
  } else if (platform::IsFifoPath(sourcePath)) {
    // Probing or seeking a FIFO would consume stream bytes.
    result.kind = SourceKind::Pipe;
  } else {
    result.kind = SourceKind::File;
    if (semicolon != std::string::npos) result.startOffset = ParseDecimal64(offsetText);
  }
  return result;
}

namespace {

platform::FileHandle WaitForPipe(const std::string& path) {
  const std::int64_t firstTry = platform::CalendarSeconds();
  for (;;) {
    platform::FileHandle handle = platform::OpenPipeOnce(path);
    if (handle.valid()) return handle;
    platform::PumpMessages();
    platform::SleepMs(333);
    if (AbortFlag.load(std::memory_order_relaxed) != 0) break;
    if (platform::CalendarSeconds() - firstTry >= 5) break;
  }
  return {};
}

}  // namespace

platform::FileHandle OpenSource(SourceKind kind, const std::string& path) {
  switch (kind) {
    case SourceKind::File:
      return platform::OpenFileForRead(path);
    case SourceKind::StdIn:
      return platform::OpenStdIn();
    case SourceKind::Pipe:
      return WaitForPipe(path);
    default:
      return {};
  }
}

std::unique_ptr<ByteSource> OpenByteSource(SourceKind kind, platform::FileHandle handle,
                                           std::uint32_t capacity) {
  if (kind == SourceKind::File && platform::IsRegularFile(handle)) {
    return std::make_unique<RegularFileSource>(handle, capacity);
  }
  return std::make_unique<FileByteSource>(handle, kind != SourceKind::File);
}

std::uint32_t ReadBufferCapacity(std::int32_t bufsize) {
  const auto requested = static_cast<std::uint32_t>(bufsize);
  return requested >= kMinimumReadBufferSize ? requested : kDefaultReadBufferSize;
}

std::optional<std::int64_t> ApplyStartOffset(platform::FileHandle handle, std::int64_t startOffset) {
  if (startOffset > 0) {
    // A file system that cannot seek that far has nothing there to read.
    const std::int64_t position = platform::SeekFile(handle, startOffset, platform::SeekOrigin::Begin);
    if (position < 0) return std::nullopt;
    return position;
  }
  std::int64_t position = 0;
  if (startOffset < 0) position = platform::SeekFile(handle, startOffset + 1, platform::SeekOrigin::End);
  if (position < 0) position = platform::SeekFile(handle, 0, platform::SeekOrigin::Current);
  return position < 0 ? 0 : position;
}

}  // namespace kestrun
