#include <gtest/gtest.h>

#include <cmath>

#include "ts/civil_date.h"
#include "ts/ts_context.h"
#include "ts_test_packets.h"

namespace kestrun::ts_test {
namespace {

SystemTime Date(std::uint16_t y, std::uint16_t mo, std::uint16_t d, std::uint16_t h = 0,
                std::uint16_t mi = 0, std::uint16_t s = 0) {
  SystemTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return t;
}

void ExpectTime(const SystemTime& actual, const SystemTime& expected) {
  EXPECT_EQ(actual.year, expected.year);
  EXPECT_EQ(actual.month, expected.month);
  EXPECT_EQ(actual.day, expected.day);
  EXPECT_EQ(actual.hour, expected.hour);
  EXPECT_EQ(actual.minute, expected.minute);
  EXPECT_EQ(actual.second, expected.second);
  EXPECT_EQ(actual.dayOfWeek, 0);
  EXPECT_EQ(actual.milliseconds, 0);
}

// UTC_time bytes and the date and time they give:
//   C0 79 12 45 00   MJD 49273            1993-10-13 12:45:00
//   C0 79 12 45 1A   BCD 0x1A             1993-10-13 12:45:10
//   3A E7 00 00 00   MJD 15079            1900-03-01 (first Annex C day)
//   3A E6 00 00 00   MJD 15078            2079-08-04 (below Annex C: wrapped)
//   FF FE 23 59 00   MJD 65534            2038-04-21 23:59:00
//   FF FF 00 02 00   MJD 65535            2038-04-22 00:02:00
//   00 00 00 02 00   MJD 0 (wrapped)      2038-04-23 00:02:00
//   4A D1 23 59 00   MJD 19153            1911-04-27 23:59:00
struct MjdCase {
  std::array<std::uint8_t, 5> bytes;
  SystemTime time;
};

TEST(MjdBcdTest, DatesAndTimes) {
  const MjdCase cases[] = {
      {{0xC0, 0x79, 0x12, 0x45, 0x00}, Date(1993, 10, 13, 12, 45, 0)},
      {{0xC0, 0x79, 0x12, 0x45, 0x1A}, Date(1993, 10, 13, 12, 45, 10)},
      {{0x3A, 0xE7, 0x00, 0x00, 0x00}, Date(1900, 3, 1)},
      {{0x3A, 0xE6, 0x00, 0x00, 0x00}, Date(2079, 8, 4)},
      {{0xFF, 0xFE, 0x23, 0x59, 0x00}, Date(2038, 4, 21, 23, 59, 0)},
      {{0xFF, 0xFF, 0x00, 0x02, 0x00}, Date(2038, 4, 22, 0, 2, 0)},
      {{0x00, 0x00, 0x00, 0x02, 0x00}, Date(2038, 4, 23, 0, 2, 0)},
      {{0x4A, 0xD1, 0x23, 0x59, 0x00}, Date(1911, 4, 27, 23, 59, 0)},
  };
  for (const MjdCase& c : cases) {
    SystemTime t;
    ASSERT_TRUE(MjdBcdToLocalTime(c.bytes.data(), t)) << int(c.bytes[0]) << "," << int(c.bytes[1]);
    ExpectTime(t, c.time);
  }
}

TEST(MjdBcdTest, UndefinedTimeFails) {
  SystemTime t;
  const std::uint8_t allOnes[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::uint8_t timeOnes[5] = {0xC0, 0x79, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(MjdBcdToLocalTime(allOnes, t));
  EXPECT_FALSE(MjdBcdToLocalTime(timeOnes, t));
}

// The date rule of EN 300 468 Annex C, evaluated as written.
SystemTime AnnexC(int mjd) {
  const int yp = static_cast<int>((mjd - 15078.2) / 365.25);
  const int mp = static_cast<int>((mjd - 14956.1 - static_cast<int>(yp * 365.25)) / 30.6001);
  const int day = mjd - 14956 - static_cast<int>(yp * 365.25) - static_cast<int>(mp * 30.6001);
  const int k = (mp == 14 || mp == 15) ? 1 : 0;
  return Date(static_cast<std::uint16_t>(yp + k + 1900), static_cast<std::uint16_t>(mp - 1 - 12 * k),
              static_cast<std::uint16_t>(day));
}

TEST(MjdBcdTest, MatchesAnnexCOverItsRange) {
  for (int mjd = 15079; mjd <= 65535; ++mjd) {
    const std::uint8_t bytes[5] = {static_cast<std::uint8_t>(mjd >> 8), static_cast<std::uint8_t>(mjd),
                                   0, 0, 0};
    SystemTime t;
    ASSERT_TRUE(MjdBcdToLocalTime(bytes, t));
    const SystemTime expected = AnnexC(mjd);
    ASSERT_EQ(t.year, expected.year) << mjd;
    ASSERT_EQ(t.month, expected.month) << mjd;
    ASSERT_EQ(t.day, expected.day) << mjd;
  }
}

TEST(TotTest, AcceptsTotAndSetsTime) {
  Analyzer a;
  const Analyzer::Step step = a.Feed(TimePacket(kTotTableId, {0xC0, 0x79, 0x12, 0x45, 0x00}));
  EXPECT_EQ(step.table, TableResult::TotAccepted);
  ExpectTime(a.context->totLocalTime, Date(1993, 10, 13, 12, 45, 0));
  EXPECT_EQ(a.context->totSeconds, 750516300);
}

TEST(TotTest, LocalTimeRulesApply) {
  Analyzer a(JstRules());
  a.Feed(TimePacket(kTdtTableId, {0xC0, 0x79, 0x12, 0x45, 0x00}));
  EXPECT_EQ(a.context->totSeconds, 750516300 - 9 * 3600);
}

// Packets of PID 0x14 that give no time, and the reason:
//   all five UTC_time bytes 0xFF       undefined time
//   table_id 0x72                      not a TDT/TOT
//   hour byte 0x25                     no such time of day
//   time bytes past the packet end     not read
TEST(TotTest, PacketsThatGiveNoTime) {
  Packet undefined = TimePacket(kTdtTableId, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  Packet stuffing = TimePacket(0x72, {0xC0, 0x79, 0x12, 0x45, 0x00});
  Packet badHour = TimePacket(kTotTableId, {0xC0, 0x79, 0x25, 0x00, 0x00});
  PacketFields f;
  f.pid = kTotPid;
  f.unitStart = true;
  f.payload = {180, 0};
  Packet cutOff = MakePacket(f);
  cutOff[185] = kTdtTableId;  // section at 185: time bytes 188..192
  for (const Packet* packet : {&undefined, &stuffing, &badHour, &cutOff}) {
    Analyzer a;
    EXPECT_EQ(a.Feed(*packet).table, TableResult::None);
    EXPECT_EQ(a.context->totSeconds, 0);
    EXPECT_EQ(a.context->totLocalTime.year, 0);
  }
}

TEST(TotTest, ReadWithoutUnitStartToo) {
  Analyzer a;
  EXPECT_EQ(a.Feed(TimePacket(kTdtTableId, {0xC0, 0x79, 0x12, 0x45, 0x00}, 0, false)).table,
            TableResult::TotAccepted);
}

TEST(TotTest, NonZeroPointerField) {
  Analyzer a;
  PacketFields f;
  f.pid = kTotPid;
  f.unitStart = true;
  f.payload = {0x03, 0x70, 0x70, 0x05, kTdtTableId, 0x70, 0x05, 0xC0, 0x79, 0x12, 0x45, 0x00};
  EXPECT_EQ(a.Feed(MakePacket(f)).table, TableResult::TotAccepted);
  EXPECT_EQ(a.context->totLocalTime.year, 1993);
}

// A time before 1970 is stored but not accepted: no prediction follows.
TEST(TotTest, TimeBefore1970IsNotAccepted) {
  Analyzer a;
  FeedClock(a.context->pcrClock, 1000);
  FeedClock(a.context->pcrClock, 91000);
  EXPECT_EQ(a.Feed(TimePacket(kTotTableId, {0x4A, 0xD1, 0x23, 0x59, 0x00})).table,
            TableResult::None);
  EXPECT_EQ(a.context->totLocalTime.year, 1911);
  EXPECT_LT(a.context->totSeconds, 0);
  EXPECT_EQ(a.context->wrapTime, 0);
}

TEST(TotTest, AcceptedTimeRenewsPrediction) {
  Analyzer a;
  FeedClock(a.context->pcrClock, 1000);
  FeedClock(a.context->pcrClock, 91000);
  a.Feed(TimePacket(kTotTableId, {0xC0, 0x79, 0x12, 0x45, 0x00}));
  EXPECT_TRUE(a.context->wrapPending);
  EXPECT_EQ(a.context->wrapTime, 750516300 + static_cast<std::int64_t>((0x1FFFFFFFFull - 91000) / 90000));
}

TEST(CivilDateTest, RoundTripsAndWeekdays) {
  for (std::int64_t days = -800000; days <= 800000; days += 997) {
    EXPECT_EQ(DaysFromCivil(CivilFromDays(days)), days);
  }
  EXPECT_EQ(DaysFromCivil({2000, 3, 1}), 11017);
  EXPECT_EQ(WeekdayFromDays(0), 4u);               // Thursday
  EXPECT_EQ(WeekdayFromDays(DaysFromCivil({1993, 10, 13})), 3u);  // Wednesday
  EXPECT_EQ(WeekdayFromDays(-1), 3u);
}

}  // namespace
}  // namespace kestrun::ts_test
