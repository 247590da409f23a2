#include "worker/report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "support/catalog.h"

namespace kestrun {
namespace {

const std::string kNotice = "\x81\x7C ";  // full-width hyphen-minus and a blank
const std::string kPlay = "PCR 0:00:01.000";
const std::string kTot = "TOT 2024/05/17 09:05:03";
const std::string kOffset = "+0xBC00";

SystemTime May17() {
  SystemTime t;
  t.year = 2024;
  t.month = 5;
  t.day = 17;
  t.hour = 9;
  t.minute = 5;
  t.second = 3;
  t.milliseconds = 999;
  return t;
}

TEST(ReportFields, PlayTime) {
  EXPECT_EQ(PlayTimeText(0, 0, 0, 1), "PCR 0:00:00.001");
  EXPECT_EQ(PlayTimeText(26, 30, 5, 40), "PCR 26:30:05.040");
  EXPECT_EQ(PlayTimeText(100000, 59, 59, 999), "PCR 100000:59:59.999");
  EXPECT_EQ(PlayTimeText(std::numeric_limits<std::uint64_t>::max(), 0, 0, 0),
            "PCR 2147483647:00:00.000");
}

TEST(ReportFields, TotOnlyOnceTheStreamGaveATime) {
  EXPECT_EQ(TotText(May17(), 1), kTot);
  EXPECT_EQ(TotText(May17(), 0), "");
  EXPECT_EQ(TotText(May17(), -5), "");
}

TEST(ReportFields, Offset) {
  EXPECT_EQ(OffsetText(0), "+0x0");
  EXPECT_EQ(OffsetText(0xBC00), kOffset);
  EXPECT_EQ(OffsetText(std::numeric_limits<std::int64_t>::max()), "+0x7FFFFFFFFFFFFFFF");
}

// offset, size -> percent
//   any, size <= 0           -> 0 (a file emptied after it was checked)
//   past the size            -> 100 (a file that grew while it was read)
//   near 2^63                -> exact floor, no overflow
TEST(ReportFields, Percent) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  struct Case {
    std::int64_t offset;
    std::int64_t size;
    int percent;
  };
  const Case cases[] = {
      {0, 0, 0},           {50, 0, 0},          {50, -3, 0},
      {-50, 100, 0},       {0, 100, 0},         {50, 100, 50},
      {99, 100, 99},       {100, 100, 100},     {250, 100, 100},
      {1, 3, 33},          {2, 3, 66},          {kMax / 2, kMax, 49},
      {kMax - 1, kMax, 99}, {kMax / 100 * 33, kMax, 32},
      {kMax, 1000, 100},   {1000000000000000000, kMax, 10},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PercentOf(c.offset, c.size), c.percent) << c.offset << " of " << c.size;
  }
  EXPECT_EQ(PercentText(50, 100), "50 %");
  EXPECT_EQ(PercentText(5, 0), "0 %");
}

// Every combination of present and empty fields: the present ones are joined
// by " , " and nothing else appears between them.
TEST(ProgressLine, JoinsThePresentFields) {
  const std::vector<std::string> fields = {"12 %", kPlay, kTot, kOffset};
  for (int mask = 0; mask < 16; ++mask) {
    std::vector<std::string> given(4);
    std::string joined;
    for (int i = 0; i < 4; ++i) {
      if ((mask & (1 << i)) == 0) continue;
      given[i] = fields[i];
      joined += (joined.empty() ? "" : " , ") + fields[i];
    }
    EXPECT_EQ(ProgressLineText(given[0], given[1], given[2], given[3]),
              kNotice + joined + "\r")
        << "mask " << mask;
  }
  EXPECT_EQ(ProgressLineText("", kPlay, "", ""), "\x81\x7C PCR 0:00:01.000\r");
}

// source      | TOT seen | line ends with
// file        | yes      | play , tot , offset
// file        | no       | play , offset
// not a file  | yes      | play , tot
// not a file  | no       | play
TEST(DropLine, SeparatorsFollowThePresentFields) {
  const std::string head = "DROP : PID 0x0100 , 1 Drop , ";
  EXPECT_EQ(DropLineText(0x100, 1, kPlay, kTot, kOffset),
            head + "PCR 0:00:01.000 , TOT 2024/05/17 09:05:03 , +0xBC00 \r\n");
  EXPECT_EQ(DropLineText(0x100, 1, kPlay, "", kOffset), head + "PCR 0:00:01.000 , +0xBC00 \r\n");
  EXPECT_EQ(DropLineText(0x100, 1, kPlay, kTot, ""),
            head + "PCR 0:00:01.000 , TOT 2024/05/17 09:05:03 \r\n");
  EXPECT_EQ(DropLineText(0x100, 1, kPlay, "", ""), head + "PCR 0:00:01.000 \r\n");
  EXPECT_EQ(DropLineText(0x1FFF, 5000000000, "", "", ""),
            "DROP : PID 0x1FFF , 5000000000 Drop ,  \r\n");
}

TEST(DropLine, Header) {
  EXPECT_EQ(DropHeaderText("rec/a.ts"), kNotice + "DROP rec/a.ts\r\n");
}

// drops | word
// 0     | Drop
// 1     | Drop
// 2     | Drops
TEST(PidSummaryLine, PluralAndExemptMark) {
  EXPECT_EQ(PidSummaryLineText(0x100, 0xF, 0, 10, false),
            "0x0100 : 0x0F : 0 Drop : 10 Total \r\n");
  EXPECT_EQ(PidSummaryLineText(0x100, 0xF, 1, 10, false),
            "0x0100 : 0x0F : 1 Drop : 10 Total \r\n");
  EXPECT_EQ(PidSummaryLineText(0x11, 0, 2, 3000000000, false),
            "0x0011 : 0x00 : 2 Drops : 3000000000 Total \r\n");
  EXPECT_EQ(PidSummaryLineText(0x1FF, 0xA, 3, 7, true),
            std::string("0x01FF : 0x0A : 3 Drops : 7 Total ") + text::kWordExempt + "\r\n");
  EXPECT_EQ(std::string(text::kWordExempt), "\x91\xCE\x8F\xDB\x8A\x4F");
}

TEST(WrapAround, WorkerLineAndSummaryLines) {
  EXPECT_EQ(WrapAroundLineText(May17()), "PCR Wrap-around 2024/05/17 09:05:03\r\n");
  EXPECT_EQ(WrapHeaderText("a.ts"), kNotice + "PCR Wrap-around a.ts\r\n");
  EXPECT_EQ(WrapDateText(May17()), "2024/05/17 09:05:03\r\n");
  EXPECT_EQ(EmptyLineText(), "\r\n");
}

}  // namespace
}  // namespace kestrun
