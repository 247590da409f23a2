#include "driver/usage.h"

#include <gtest/gtest.h>

#include <string>

#include "output/console.h"
#include "support/catalog.h"

namespace kestrun {
namespace {

class CaptureSink final : public ByteSink {
 public:
  void Write(const char* bytes, std::size_t count) override { captured.append(bytes, count); }
  void Flush() override {}
  std::string captured;
};

class UsageTest : public ::testing::Test {
 protected:
  void SetUp() override { SetConsoleSink(&sink_); }
  void TearDown() override { SetConsoleSink(nullptr); }
  std::string Shown(const std::optional<std::string>& company,
                    const std::optional<std::string>& comments) {
    ShowUsage("kestrun", company, comments);
    return sink_.captured;
  }

 private:
  CaptureSink sink_;
};

// Ideographic space (CP932 0x81 0x40) indents the filled lines.
const std::string kSyntaxLine =
    "\x81\x40kestrun.exe[ -srcpath] \x8E\x51\x8F\xC6ts\x83\x74\x83\x40\x83\x43\x83\x8B\x83\x70\x83\x58"
    "[ -nolog][ -logpath \x83\x8D\x83\x4F\x83\x74\x83\x40\x83\x43\x83\x8B\x83\x70\x83\x58 ]\n";
const std::string kContactHeader = "\x98\x41\x97\x8D\x90\xE6\x91\xBC\n";

std::string FixedScreen() {
  return std::string(text::kUsageArgs) + kSyntaxLine + text::kUsageDescription +
         text::kUsagePurpose + text::kUsageSrcpath + text::kUsageNolog + text::kUsageNologText +
         text::kUsageLogpath + text::kUsageLogpathText + text::kUsageLogpathNolog +
         text::kUsageLogpathTs;
}

// Scenario: version strings present   -> contact block lines shown
//           none                      -> the screen ends after the logpath notes
TEST_F(UsageTest, WithoutVersionStringsEndsAfterTheOptions) {
  EXPECT_EQ(Shown(std::nullopt, std::nullopt), FixedScreen());
}

TEST_F(UsageTest, WithBothVersionStrings) {
  EXPECT_EQ(Shown("Maker 100%s", "Notes"),
            FixedScreen() + kContactHeader + "\x81\x40Maker 100%s\n" + "\x81\x40Notes\n");
}

TEST_F(UsageTest, WithOnlyComments) {
  EXPECT_EQ(Shown(std::nullopt, "Notes"), FixedScreen() + kContactHeader + "\x81\x40Notes\n");
}

TEST_F(UsageTest, WithOnlyCompanyName) {
  EXPECT_EQ(Shown("Maker", std::nullopt), FixedScreen() + kContactHeader + "\x81\x40Maker\n");
}

}  // namespace
}  // namespace kestrun
