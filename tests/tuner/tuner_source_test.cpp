#include "tuner/tuner_source.h"

#include <gtest/gtest.h>

#include "support/catalog.h"
#include "support/format_text.h"
#include "support/temp_dir.h"
#include "tuner/bon_driver_tuner.h"
#include "tuner/tuner_test_support.h"

namespace kestrun {
namespace {

using testing::ConsoleCapture;
using testing::TempDir;

// Source text (DRV = an existing driver file, MISSING = a name that exists
// nowhere) -> the refusal that applies:
//   \\.\bondriver\\13\DRV        empty space            -> NoSpace
//   \\.\bondriver\;0\13\DRV      space cut away at ';'  -> NoSpace
//   \\.\bondriver\0              no channel             -> NoChannel
//   \\.\bondriver\0\             empty channel          -> NoChannel
//   \\.\bondriver\0\13           no driver path         -> NoDriver
//   \\.\bondriver\0\13\          empty driver path      -> NoDriver
//   \\.\bondriver\0\13\MISSING   no such file           -> NoDriver
//   \\.\bondriver\0\13\DRV;x     cut at ';', file found -> None
//   \\.\bondriver\0\13\DRV;      same                   -> None
//   \\.\bondriver\0\13\DRV       passes                 -> None
//   \\.\bondriver\abc\-1\DRV     numbers are not checked-> None
//   \\.\BonDriver\0\13\MISSING   prefix is case-sensitive: not a tuner -> None
//   C:\rec\a.ts                  a file source          -> None
TEST(TunerSourceCheck, PicksTheRefusalThatApplies) {
  TempDir dir;
  const std::string drv = dir.Write("drv.dll", "x");
  const std::string missing = dir.File("missing.dll");
  const std::string p = "\\\\.\\bondriver\\";
  const struct {
    std::string source;
    TunerSourceIssue issue;
  } cases[] = {
      {p + "\\13\\" + drv, TunerSourceIssue::NoSpace},
      {p + ";0\\13\\" + drv, TunerSourceIssue::NoSpace},
      {p + "0", TunerSourceIssue::NoChannel},
      {p + "0\\", TunerSourceIssue::NoChannel},
      {p + "0\\13", TunerSourceIssue::NoDriver},
      {p + "0\\13\\", TunerSourceIssue::NoDriver},
      {p + "0\\13\\" + missing, TunerSourceIssue::NoDriver},
      {p + "0\\13\\" + drv + ";x", TunerSourceIssue::None},
      {p + "0\\13\\" + drv + ";", TunerSourceIssue::None},
      {p + "0\\13\\" + drv, TunerSourceIssue::None},
      {p + "abc\\-1\\" + drv, TunerSourceIssue::None},
      {"\\\\.\\BonDriver\\0\\13\\" + missing, TunerSourceIssue::None},
      {"C:\\rec\\a.ts", TunerSourceIssue::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckTunerSource(c.source), c.issue) << c.source;
  }
  EXPECT_FALSE(IsTunerSource("\\\\.\\BonDriver\\0\\13\\drv.dll"));
  EXPECT_TRUE(IsTunerSource(p + "0\\13\\drv.dll"));
}

// The refusal names the source text up to its first ';'; a source that
// passes, or is no tuner source, prints nothing.
TEST(TunerSourceCheck, ReportsTheRefusalWithTheTextBeforeTheSemicolon) {
  TempDir dir;
  const std::string drv = dir.Write("drv.dll", "x");
  const std::string p = "\\\\.\\bondriver\\";
  const struct {
    std::string source;
    const char* format;  // null: nothing printed
    std::string shown;
  } cases[] = {
      {p + "\\13\\drv.dll", text::kMsgTunerNoSpace, p + "\\13\\drv.dll"},
      {p + "0;5", text::kMsgTunerNoChannel, p + "0"},
      {p + "0\\13\\" + dir.File("none.dll") + ";x", text::kMsgTunerNoDriver,
       p + "0\\13\\" + dir.File("none.dll")},
      {p + "0\\13\\" + drv + ";x", nullptr, ""},
      {"\\\\.\\BonDriver\\0\\13\\drv.dll", nullptr, ""},
  };
  for (const auto& c : cases) {
    ConsoleCapture console;
    const bool refused = ReportTunerSourceIssue(c.source);
    EXPECT_EQ(refused, c.format != nullptr) << c.source;
    const std::string expected = c.format != nullptr ? FormatText(c.format, c.shown.c_str()) : "";
    EXPECT_EQ(console.Text(), expected) << c.source;
  }
}

// Driver paths keep their own backslashes and end at the first ';'.
TEST(TunerSourceSplit, SplitsAtTheFirstTwoBackslashes) {
  const auto parts = SplitTunerSource("\\\\.\\bondriver\\1\\2\\C:\\TV\\a;b.dll;5");
  ASSERT_TRUE(parts.has_value());
  EXPECT_EQ(parts->space, "1");
  EXPECT_EQ(parts->channel, "2");
  EXPECT_EQ(parts->driverPath, "C:\\TV\\a");

  const auto spaceOnly = SplitTunerSource("\\\\.\\bondriver\\7");
  ASSERT_TRUE(spaceOnly.has_value());
  EXPECT_EQ(spaceOnly->space, "7");
  EXPECT_FALSE(spaceOnly->channel.has_value());
  EXPECT_FALSE(spaceOnly->driverPath.has_value());

  EXPECT_FALSE(SplitTunerSource("\\\\.\\pipe\\x").has_value());
}

// Text -> number, read like strtol into a signed 32-bit value:
//   "abc" 0 | "-1" 4294967295 | " \t13" 13 | "+7" 7 | "12x" 12 | "" 0 | "-" 0
//   "2147483647" stays | "2147483648" and beyond saturate at 2147483647
//   "-2147483648" stays | "-99999999999" saturates at 0x80000000
TEST(TunerSourceNumbers, ReadsLikeStrtol) {
  const struct {
    const char* text;
    std::uint32_t value;
  } cases[] = {
      {"abc", 0u},          {"-1", 4294967295u},         {" \t13", 13u},
      {"+7", 7u},           {"12x", 12u},                {"", 0u},
      {"-", 0u},            {"2147483647", 2147483647u}, {"2147483648", 2147483647u},
      {"4294967295", 2147483647u}, {"99999999999999999999999", 2147483647u},
      {"-2147483648", 0x80000000u}, {"-99999999999", 0x80000000u},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseTunerNumber(c.text), c.value) << c.text;
}

TEST(TunerRecordFilling, FillsNumbersAndDriverPath) {
  CBonDriverTuner tuner;
  FillTunerRecord(tuner, "\\\\.\\bondriver\\abc\\-1\\D:\\tv\\drv.dll;x");
  EXPECT_EQ(tuner.spaceNo, 0u);
  EXPECT_EQ(tuner.channelNo, 4294967295u);
  EXPECT_EQ(tuner.driverPath, "D:\\tv\\drv.dll");
  EXPECT_EQ(tuner.bufferLimit, 16u << 20);

  CBonDriverTuner spaceOnly;
  FillTunerRecord(spaceOnly, "\\\\.\\bondriver\\5");
  EXPECT_EQ(spaceOnly.spaceNo, 5u);
  EXPECT_EQ(spaceOnly.channelNo, 0u);
  EXPECT_EQ(spaceOnly.driverPath, "");
}

}  // namespace
}  // namespace kestrun
