#include "output/report_file.h"

#include "platform/platform.h"

namespace kestrun {

bool WriteFileAtomically(const std::string& path, const std::function<void(const FileChunkSink&)>& produce) {
  if (path.empty()) return false;
  // The same folder, so that the rename never crosses file systems; the
  // process id keeps two runs writing the same report apart.
  const std::string temporary = path + "." + std::to_string(platform::ProcessId()) + ".tmp";
  platform::FileHandle file = platform::CreateFileForWrite(temporary);
  bool whole = file.valid();
  produce([&](std::string_view piece) {
    whole = whole && platform::WriteToFile(file, piece.data(), piece.size());
    return whole;
  });
  const bool finished = platform::FinishWrittenFile(file);
  if (whole && finished && platform::MoveIntoPlace(temporary, path)) return true;
  platform::RemoveFile(temporary);
  return false;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  return WriteFileAtomically(path, [&bytes](const FileChunkSink& sink) { sink(bytes); });
}

}  // namespace kestrun
