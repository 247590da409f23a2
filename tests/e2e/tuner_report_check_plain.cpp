// Without a JSON parser: the report exists and is one object.
#include <cstddef>

#include <gtest/gtest.h>

#include "e2e/tuner_report_check.h"
#include "support/temp_dir.h"

namespace kestrun::testing {

void ExpectTunerReport(const std::string& path, const char* /*end*/, int /*exitCode*/,
                       const std::string& /*log*/) {
  const std::string bytes = ReadFileBytes(path);
  const std::size_t last = bytes.find_last_not_of('\n');
  ASSERT_NE(last, std::string::npos) << "no JSON report";
  EXPECT_EQ(bytes.front(), '{');
  EXPECT_EQ(bytes[last], '}');
}

}  // namespace kestrun::testing
