// Without version resources the strings are compiled into the program.
#include "platform/platform.h"
#include "support/catalog.h"

namespace kestrun::platform {

std::optional<std::string> ReadVersionString(const std::string& /*exePath*/, const std::string& key) {
  if (key == "CompanyName") return std::string(text::kVersionCompanyName);
  if (key == "Comments") return std::string(text::kVersionComments);
  return std::nullopt;
}

}  // namespace kestrun::platform
