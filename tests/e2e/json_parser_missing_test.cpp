// Built in place of the JSON report tests where no JSON parser is installed,
// so that the run says what it left out.
#include <gtest/gtest.h>

TEST(JsonReport, NeedsParser) {
  GTEST_SKIP() << "nlohmann-json3-dev is not installed: the JSON report tests are skipped";
}
