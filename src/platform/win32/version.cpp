#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

// Four lower-case hex digits, as in "\\StringFileInfo\\041103a4\\".
std::string Hex4(WORD value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(4, '0');
  for (int i = 3; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return text;
}

}  // namespace

std::optional<std::string> ReadVersionString(const std::string& exePath, const std::string& key) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exePath.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(exePath.c_str(), 0, size, block.data())) return std::nullopt;

  void* found = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &found, &length) || found == nullptr ||
      length < 2 * sizeof(WORD)) {
    return std::nullopt;
  }
  WORD translation[2] = {0, 0};
  std::memcpy(translation, found, sizeof(translation));

  const std::string query = "\\StringFileInfo\\" + Hex4(translation[0]) + Hex4(translation[1]) + "\\" + key;
  found = nullptr;
  length = 0;
  if (!VerQueryValueA(block.data(), query.c_str(), &found, &length) || found == nullptr) return std::nullopt;
  const char* value = static_cast<const char*>(found);
  // The length counts characters, the terminator included; never read past it.
  return std::string(value, strnlen(value, length));
}

}  // namespace kestrun::platform
