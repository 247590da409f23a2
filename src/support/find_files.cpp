#include "support/find_files.h"

#include <memory>
#include <new>
#include <string_view>

#include "platform/platform.h"
#include "support/format_text.h"

namespace kestrun {
namespace {

constexpr std::size_t kPathLimit = 260;
constexpr char kPatternSeparator = ';';
constexpr char kLeftoverPrefix[] = "ZIZ";
constexpr char kLeftoverPatternFormat[] = "%s????.tmp*";

bool Refused(const std::string& folder, const std::string& patternList) {
  return folder.empty() || patternList.empty() || folder.size() >= kPathLimit ||
         patternList.size() >= kPathLimit || folder.size() + patternList.size() >= kPathLimit;
}

std::string WithoutTrailingSeparator(const std::string& folder) {
  if (!folder.empty() && folder.back() == platform::PathSeparator()) {
    return folder.substr(0, folder.size() - 1);
  }
  return folder;
}

void Prepend(const std::string& folder, const platform::DirEntry& entry, CFindFileInfo*& head) {
  auto record = std::make_unique<CFindFileInfo>();
  record->path = folder + platform::PathSeparator() + entry.name;
  record->lastWriteTime = entry.lastWriteTime;
  record->size = entry.size;
  record->next = head;
  head = record.release();
}

void FindByPattern(const std::string& folder, std::string_view pattern, CFindFileInfo*& head) {
  for (const platform::DirEntry& entry : platform::FindEntries(folder, std::string(pattern))) {
    if (entry.name == "." || entry.name == ".." || entry.isDirectory) continue;
    Prepend(folder, entry, head);
  }
}

}  // namespace

void FindFiles(const std::string& folder, const std::string& patternList, CFindFileInfo*& head) {
  if (Refused(folder, patternList)) return;
  const std::string stripped = WithoutTrailingSeparator(folder);
  try {
    std::string_view rest = patternList;
    while (!rest.empty()) {
      const std::size_t cut = rest.find(kPatternSeparator);
      const std::string_view pattern = rest.substr(0, cut);
      if (!pattern.empty()) FindByPattern(stripped, pattern, head);
      if (cut == std::string_view::npos) break;
      rest.remove_prefix(cut + 1);
    }
  } catch (const std::bad_alloc&) {
    // Records are linked in only once complete, so the chain stays sound;
    // the files not yet recorded are simply left out.
  }
}

void FreeChain(CFindFileInfo*& head) {
  while (head != nullptr) {
    CFindFileInfo* next = head->next;
    delete head;
    head = next;
  }
}

void DeleteTempLeftovers(const std::string& tempFolder) {
  CFindFileInfo* chain = nullptr;
  FindFiles(tempFolder, FormatText(kLeftoverPatternFormat, kLeftoverPrefix), chain);
  for (const CFindFileInfo* record = chain; record != nullptr; record = record->next) {
    // In a temporary folder that others share, their files are not ours to
    // delete, whatever rights the program runs with.
    if (platform::IsOwnFile(record->path)) platform::RemoveFile(record->path);
  }
  FreeChain(chain);
}

}  // namespace kestrun
