#include "driver/usage.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/command_line.h"
#include "output/console.h"
#include "support/catalog.h"
#include "support/program_version.h"
#include "support/temp_dir.h"

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
    sink_.captured.clear();
    ShowUsage("kestrun", company, comments);
    return sink_.captured;
  }

 private:
  CaptureSink sink_;
};

// Ideographic space (CP932 0x81 0x40) indents the filled lines. The program
// is called without ".exe" here.
const std::string kSyntaxLine =
    "\x81\x40kestrun[ -srcpath] \x8E\x51\x8F\xC6ts\x83\x74\x83\x40\x83\x43\x83\x8B\x83\x70\x83\x58"
    "[ -nolog][ -logpath \x83\x8D\x83\x4F\x83\x74\x83\x40\x83\x43\x83\x8B\x83\x70\x83\x58 ]\n";
const std::string kContactHeader = "\x98\x41\x97\x8D\x90\xE6\x91\xBC\n";

std::string FixedScreen() {
  return std::string(text::kUsageArgs) + kSyntaxLine + text::kUsageDescription +
         text::kUsagePurpose + text::kUsageSrcpath + text::kUsageNolog + text::kUsageNologText +
         text::kUsageLogpath + text::kUsageLogpathText + text::kUsageLogpathNolog +
         text::kUsageLogpathTs;
}

// The lines added behind the fixed ones, which end with the version.
std::string AddedPart(const std::string& screen, std::size_t fixedLength) {
  const std::string ending = " " + std::string(ProgramVersion()) + "\n";
  EXPECT_EQ(screen.substr(screen.size() - ending.size()), ending);
  return screen.substr(fixedLength);
}

// version strings   | after the fixed lines
// both              | contact header, both items, the added part
// comments only     | contact header, comments, the added part
// company only      | contact header, company, the added part
// none              | the added part
TEST_F(UsageTest, FixedLinesThenContactBlockThenTheRest) {
  const std::string none = Shown(std::nullopt, std::nullopt);
  ASSERT_EQ(none.rfind(FixedScreen(), 0), 0u);
  const std::string added = AddedPart(none, FixedScreen().size());
  const std::string contact = FixedScreen() + kContactHeader;
  EXPECT_EQ(Shown("Maker 100%s", "Notes"),
            contact + "\x81\x40Maker 100%s\n" + "\x81\x40Notes\n" + added);
  EXPECT_EQ(Shown(std::nullopt, "Notes"), contact + "\x81\x40Notes\n" + added);
  EXPECT_EQ(Shown("Maker", std::nullopt), contact + "\x81\x40Maker\n" + added);
}

// Every option that does something has its line; the ignored ones have none.
TEST_F(UsageTest, ListsEveryOptionThatDoesSomething) {
  const std::string screen = Shown(std::nullopt, std::nullopt);
  for (const OptionWordInfo& option : OptionWords()) {
    const std::string line = "\n\x81\x40-" + std::string(option.word);
    const bool listed = screen.find(line + " ") != std::string::npos ||
                        screen.find(line + "\n") != std::string::npos ||
                        screen.find(line + "[") != std::string::npos;
    EXPECT_EQ(listed, option.hasEffect) << option.word;
  }
}

// The manual page has an entry for every option word, those that do
// nothing included.
TEST(ManualPage, NamesEveryOptionWord) {
  const std::string page = testing::ReadFileBytes(KESTRUN_SOURCE_DIR "/docs/kestrun.1");
  ASSERT_FALSE(page.empty());
  for (const OptionWordInfo& option : OptionWords()) {
    EXPECT_NE(page.find("\\-" + std::string(option.word)), std::string::npos) << option.word;
  }
}

}  // namespace
}  // namespace kestrun
