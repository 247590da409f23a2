// Listing files of one folder by wildcard patterns, and the exit clean-up of
// the program's leftover temporary files.
#pragma once

#include <cstdint>
#include <string>

namespace kestrun {

// One file found. Records form a singly linked chain owned by whoever holds
// its head; free it with FreeChain.
class CFindFileInfo {
 public:
  CFindFileInfo() = default;
  CFindFileInfo(const CFindFileInfo&) = delete;
  CFindFileInfo& operator=(const CFindFileInfo&) = delete;
  virtual ~CFindFileInfo() = default;

  std::string path;                  // folder, separator, file name; never cut
  std::uint64_t lastWriteTime = 0;   // 100-ns units since 1601-01-01
  std::uint64_t size = 0;            // bytes
  std::int64_t reserved = -1;
  CFindFileInfo* next = nullptr;
};

// Prepends one record per file of `folder` that matches one of the
// ';'-separated wildcard patterns, so the chain ends in the reverse of the
// order found. Directories are skipped and only `folder` itself is searched.
// Nothing is added when the folder or the pattern list is empty or 260 bytes
// long or longer, or when their lengths add up to 260 or more.
void FindFiles(const std::string& folder, const std::string& patternList, CFindFileInfo*& head);

// Destroys every record of the chain and leaves `head` null.
void FreeChain(CFindFileInfo*& head);

// Deletes the files ZIZ????.tmp* of the temporary folder that belong to the
// user the program runs as (on Windows: every one); a file that cannot be
// deleted stays, and nothing is reported.
void DeleteTempLeftovers(const std::string& tempFolder);

}  // namespace kestrun
