#include "output/report_file.h"

#include "platform/platform.h"

namespace kestrun {

bool IsStandardOutputPath(const std::string& path) { return path == kStandardOutputPath; }

bool WriteReportFile(const std::string& path, const std::function<void(const FileChunkSink&)>& produce) {
  if (path.empty()) return false;
  if (IsStandardOutputPath(path)) {
    bool whole = true;
    produce([&whole](std::string_view piece) {
      whole = whole && platform::WriteStandardOutput(piece.data(), piece.size());
      return whole;
    });
    return whole;
  }
  const platform::ReportTarget target = platform::ResolveReportTarget(path);
  switch (target.kind) {
    case platform::ReportTarget::Kind::Replace: return WriteFileAtomically(target.path, produce);
    case platform::ReportTarget::Kind::InPlace: {
      // A FIFO or device takes the report in one write: its reader sees it
      // whole or not at all.
      std::string bytes;
      produce([&bytes](std::string_view piece) {
        bytes.append(piece);
        return true;
      });
      return platform::WriteInPlace(target.path, bytes.data(), bytes.size());
    }
    case platform::ReportTarget::Kind::Unusable: return false;
  }
  return false;
}

bool WriteReportFile(const std::string& path, const std::string& bytes) {
  return WriteReportFile(path, [&bytes](const FileChunkSink& sink) { sink(bytes); });
}

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
