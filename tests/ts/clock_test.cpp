#include <gtest/gtest.h>

#include <ostream>

#include "ts/ts_context.h"
#include "ts_test_packets.h"

namespace kestrun::ts_test {
namespace {

// Samples fed into one clock and where it ends:
//   samples                    base          elapsed
//   1000, 91000                1000          90000
//   0x1FFFFFF00, 0x100         0x1FFFFFF00   511 (wrap adds 2^33 - 1)
//   900000, 899999             899999        0 (restart: < 1 s back)
//   900000, 800000             900000        800000 + 0x1FFFFFFFF - 900000
//   0, 5000, 9000              5000          4000 (a first 0 sets no origin)
//   1000, 0x1FFFFFFFF, 1000    1000          0 (a full cycle later)
struct FeedCase {
  const char* name;
  std::vector<std::uint64_t> samples;
  std::uint64_t base;
  std::uint64_t elapsed;
};

const FeedCase kFeedCases[] = {
    {"OneSecond", {1000, 91000}, 1000, 90000},
    {"Wrap", {0x1FFFFFF00, 0x100}, 0x1FFFFFF00, 511},
    {"SmallStepBackRestarts", {900000, 899999}, 899999, 0},
    {"LargeStepBackIsWrap", {900000, 800000}, 900000, 800000 + 0x1FFFFFFFFull - 900000},
    {"FirstZeroSetsNoOrigin", {0, 5000, 9000}, 5000, 4000},
    {"FullCycle", {1000, 0x1FFFFFFFF, 1000}, 1000, 0},
};

// Test names show the samples ("1000 91000"), not the record's bytes.
void PrintTo(const FeedCase& c, std::ostream* out) {
  *out << "samples";
  for (const std::uint64_t sample : c.samples) {
    if (sample > 0xFFFFFFFF) {
      *out << " 0x" << std::hex << std::uppercase << sample << std::dec;
    } else {
      *out << ' ' << sample;
    }
  }
}

class ClockFeedTest : public ::testing::TestWithParam<FeedCase> {};

TEST_P(ClockFeedTest, BaseAndElapsed) {
  const FeedCase& c = GetParam();
  TimestampClock clock;
  for (const std::uint64_t sample : c.samples) FeedClock(clock, sample);
  EXPECT_EQ(clock.base, c.base);
  EXPECT_EQ(clock.elapsed, c.elapsed);
}

INSTANTIATE_TEST_SUITE_P(Samples, ClockFeedTest, ::testing::ValuesIn(kFeedCases),
                         [](const auto& info) { return std::string(info.param.name); });

//   ticks                    shown
//   90000                    0:00:01.000
//   323999999                0:59:59.999
//   324000000 (3600 s)       1:00:00.000
//   2^31                     6:37:40.929 (no 32-bit limit)
//   30 h                     30:00:00.000
//   2^33 - 1                 26:30:43.717
struct DisplayCase {
  std::uint64_t ticks;
  ClockTime time;
};

TEST(TicksToClockTimeTest, BreaksDownWithoutLimit) {
  const DisplayCase cases[] = {
      {90000, {0, 0, 1, 0}},
      {323999999, {0, 59, 59, 999}},
      {324000000, {1, 0, 0, 0}},
      {0x80000000ull, {6, 37, 40, 929}},
      {30ull * 3600 * 90000, {30, 0, 0, 0}},
      {0x1FFFFFFFFull, {26, 30, 43, 717}},
  };
  for (const DisplayCase& c : cases) {
    const ClockTime t = TicksToClockTime(c.ticks);
    EXPECT_EQ(t.hours, c.time.hours) << c.ticks;
    EXPECT_EQ(t.minutes, c.time.minutes) << c.ticks;
    EXPECT_EQ(t.seconds, c.time.seconds) << c.ticks;
    EXPECT_EQ(t.milliseconds, c.time.milliseconds) << c.ticks;
  }
}

TEST(ClockTest, FeedKeepsDisplayInStep) {
  TimestampClock clock;
  FeedClock(clock, 1000);
  FeedClock(clock, 1000 + 324000000 + 45);
  EXPECT_EQ(clock.time.hours, 1);
  EXPECT_EQ(clock.time.milliseconds, 0);
}

TEST(ClockTest, PesClocksNeedStartCodeAndFlags) {
  PesHeaderInfo pes;
  pes.startCodePrefix = 1;
  pes.hasOptionalHeader = true;
  pes.ptsDtsFlags = 1;  // DTS alone: not a PTS
  pes.pts = 5000;
  pes.dts = 7000;
  TimestampClock pts, dts;
  UpdatePtsClock(pts, pes);
  UpdateDtsClock(dts, pes);
  EXPECT_EQ(pts.base, 0u);
  EXPECT_EQ(dts.base, 7000u);
  pes.hasOptionalHeader = false;
  pes.ptsDtsFlags = 3;
  UpdatePtsClock(pts, pes);
  EXPECT_EQ(pts.base, 0u);
}

TEST(SelectClockTest, PtsOnlyStream) {
  Analyzer a;
  a.Feed(PesPacket(0x111, 0, 2000000));
  EXPECT_EQ(&SelectClock(*a.context), &a.context->pcrClock);  // one sample: no elapsed
  a.Feed(PesPacket(0x111, 1, 2000000 + 3003, 2000000));
  EXPECT_EQ(&SelectClock(*a.context), &a.context->ptsClock);
  EXPECT_EQ(SelectClock(*a.context).elapsed, 3003u);
  EXPECT_EQ(a.context->dtsClock.base, 2000000u);
}

TEST(SelectClockTest, PcrWinsOnceRunningEvenOnPayloadlessPcrPid) {
  Analyzer a;
  AddPcrPid(*a.context, 0x1FF);
  a.Feed(PesPacket(0x111, 0, 100000));
  a.Feed(PesPacket(0x111, 1, 190000));
  a.Feed(PcrPacket(0x1FF, 0, 27000));
  EXPECT_EQ(&SelectClock(*a.context), &a.context->ptsClock);
  a.Feed(PcrPacket(0x1FF, 0, 27000 + 180000));
  EXPECT_EQ(&SelectClock(*a.context), &a.context->pcrClock);
  EXPECT_EQ(SelectClock(*a.context).time.seconds, 2);
  EXPECT_EQ(FindPidState(*a.context, 0x1FF)->totalCount, 0u);
}

TEST(SelectClockTest, DtsAsLastResort) {
  TsContext context;
  context.dtsClock.base = 10;
  context.dtsClock.elapsed = 20;
  context.ptsClock.base = 10;  // origin without elapsed time: not chosen
  EXPECT_EQ(&SelectClock(context), &context.dtsClock);
}

// The TOT arrives while the PCR clock has base 0x100000000 and elapsed
// 90000: r = 0x1FFFFFFFF - 90000 - 0x100000000 = 4294877295 ticks, so the
// wrap lies 47720 s (13 h 15 min 20 s) after the TOT.
TEST(WrapAroundTest, PredictsFromUnwrappedClock) {
  Analyzer a(JstRules());
  FeedClock(a.context->pcrClock, 0x100000000);
  FeedClock(a.context->pcrClock, 0x100000000 + 90000);
  // 2024-01-01 00:00:00 JST
  const Packet tot = TimePacket(kTotTableId, {0xEB, 0x96, 0x00, 0x00, 0x00});
  const Analyzer::Step step = a.Feed(tot);
  EXPECT_EQ(step.table, TableResult::TotAccepted);
  const std::int64_t tot0 = 1704034800;  // 2023-12-31 15:00:00 UTC
  EXPECT_EQ(a.context->totSeconds, tot0);
  EXPECT_EQ(a.context->wrapTime, tot0 + 47720);
  EXPECT_TRUE(a.context->wrapPending);
  const SystemTime& w = a.context->wrapLocalTime;
  EXPECT_EQ(w.year, 2024);
  EXPECT_EQ(w.month, 1);
  EXPECT_EQ(w.day, 1);
  EXPECT_EQ(w.hour, 13);
  EXPECT_EQ(w.minute, 15);
  EXPECT_EQ(w.second, 20);
}

TEST(WrapAroundTest, WrappedClockCountsFromElapsed) {
  TsContext context;
  context.localTime = UtcRules();
  context.totSeconds = 1000;
  context.pcrClock.base = 0x1FFFFFF00;
  context.pcrClock.elapsed = 90000 * 100;  // wrapped: base + elapsed > 2^33 - 1
  PredictWrapAround(context);
  EXPECT_EQ(context.wrapTime, 1000 + static_cast<std::int64_t>((0x1FFFFFFFFull - 9000000) / 90000));
}

TEST(WrapAroundTest, NoClockNoPrediction) {
  TsContext context;
  context.localTime = UtcRules();
  context.totSeconds = 1000;
  PredictWrapAround(context);
  EXPECT_EQ(context.wrapTime, 0);
  EXPECT_FALSE(context.wrapPending);
}

// A prediction stands until a TDT/TOT later than it arrives; that one
// replaces it at once.
TEST(WrapAroundTest, PredictionStandsUntilPassed) {
  TsContext context;
  context.localTime = UtcRules();
  context.pcrClock.base = 0x1FFFFFFFF - 90000 * 10;
  context.pcrClock.elapsed = 0;
  context.totSeconds = 100;
  PredictWrapAround(context);
  ASSERT_EQ(context.wrapTime, 110);
  context.wrapPending = false;  // announced

  context.totSeconds = 105;
  context.pcrClock.elapsed = 90000 * 5;
  PredictWrapAround(context);
  EXPECT_EQ(context.wrapTime, 110);
  EXPECT_FALSE(context.wrapPending);

  context.totSeconds = 111;
  context.pcrClock.base = 1000;
  context.pcrClock.elapsed = 90000;
  PredictWrapAround(context);
  EXPECT_EQ(context.wrapTime, 111 + static_cast<std::int64_t>((0x1FFFFFFFFull - 91000) / 90000));
  EXPECT_TRUE(context.wrapPending);
}

}  // namespace
}  // namespace kestrun::ts_test
