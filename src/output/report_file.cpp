#include "output/report_file.h"

#include "platform/platform.h"

namespace kestrun {

bool IsStandardOutputPath(const std::string& path) { return path == kStandardOutputPath; }

bool WriteReportFile(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  if (IsStandardOutputPath(path)) return platform::WriteStandardOutput(bytes.data(), bytes.size());
  const platform::ReportTarget target = platform::ResolveReportTarget(path);
  switch (target.kind) {
    case platform::ReportTarget::Kind::Replace: return WriteFileAtomically(target.path, bytes);
    case platform::ReportTarget::Kind::InPlace:
      return platform::WriteInPlace(target.path, bytes.data(), bytes.size());
    case platform::ReportTarget::Kind::Unusable: return false;
  }
  return false;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  // The same folder, so that the rename never crosses file systems; the
  // process id keeps two runs writing the same report apart.
  const std::string temporary = path + "." + std::to_string(platform::ProcessId()) + ".tmp";
  if (platform::WriteNewFile(temporary, bytes.data(), bytes.size()) &&
      platform::MoveIntoPlace(temporary, path)) {
    return true;
  }
  platform::RemoveFile(temporary);
  return false;
}

}  // namespace kestrun
