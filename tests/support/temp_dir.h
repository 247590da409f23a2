// A private folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace kestrun::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;
  // Writes the bytes to File(name) and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace kestrun::testing
