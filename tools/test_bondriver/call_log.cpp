#include "call_log.h"

namespace test_bondriver {

CallLog::CallLog(const std::string& path) {
  if (!path.empty()) file_ = std::fopen(path.c_str(), "ab");
}

CallLog::~CallLog() {
  if (file_ != nullptr) std::fclose(file_);
}

void CallLog::Line(const std::string& text) {
  if (file_ == nullptr) return;
  std::fputs(text.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

}  // namespace test_bondriver
