// One line per call the driver receives, appended and flushed at once so a
// test can read the order of calls even while the driver is still loaded.
#pragma once

#include <cstdio>
#include <string>

namespace test_bondriver {

class CallLog {
 public:
  explicit CallLog(const std::string& path);
  ~CallLog();
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;

  void Line(const std::string& text);

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace test_bondriver
