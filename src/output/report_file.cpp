#include "output/report_file.h"

#include "platform/platform.h"

namespace kestrun {

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
