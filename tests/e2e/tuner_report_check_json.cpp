#include <cstddef>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "e2e/tuner_report_check.h"
#include "support/temp_dir.h"

namespace kestrun::testing {

void ExpectTunerReport(const std::string& path, const char* end, int exitCode,
                       const std::string& log) {
  const nlohmann::json doc = nlohmann::json::parse(ReadFileBytes(path), nullptr, false);
  ASSERT_TRUE(doc.is_object()) << "no JSON report";
  EXPECT_EQ(doc["run"]["exitCode"], exitCode);
  ASSERT_EQ(doc["jobs"].size(), 1u);
  const nlohmann::json& job = doc["jobs"][0];
  EXPECT_EQ(job["kind"], "tuner");
  EXPECT_EQ(job["end"], end);
  EXPECT_EQ(job["dropTotal"], exitCode);
  EXPECT_TRUE(job["fileSize"].is_null());
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = log.find("DROP : PID", at)) != std::string::npos; ++at) ++lines;
  std::size_t reported = 0;
  for (const nlohmann::json& drop : job["drops"]) reported += drop["reported"].get<bool>() ? 1 : 0;
  EXPECT_EQ(reported, lines);
}

}  // namespace kestrun::testing
