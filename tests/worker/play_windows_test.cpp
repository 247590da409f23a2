#include "worker/play_windows.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace kestrun {
namespace {

constexpr std::uint64_t Seconds(std::uint64_t s) { return s * 90000; }

// text        | hours minutes seconds ms
// 90          | seconds alone
// 1:30        | hours and minutes, not 90 seconds
// 0:0:1:500   | milliseconds only after a third ':'
// 0:0:1.5     | ".5" ends the seconds field, milliseconds stay 0
// signs, blanks and junk follow the C runtime's decimal conversion
TEST(ParseClockText, ReadsFieldsLikeTheCommandLineSyntax) {
  struct Case {
    const char* text;
    ClockFields expected;
  };
  const Case cases[] = {
      {"90", {0, 0, 90, 0}},
      {"1:30", {1, 30, 0, 0}},
      {"0:10:00", {0, 10, 0, 0}},
      {"0:0:1:500", {0, 0, 1, 500}},
      {"0:0:1.5", {0, 0, 1, 0}},
      {"1:2:3:4.9", {1, 2, 3, 4}},
      {"1:2:3:4:5", {1, 2, 3, 4}},
      {"", {0, 0, 0, 0}},
      {"abc", {0, 0, 0, 0}},
      {" +5", {0, 0, 5, 0}},
      {"1x:30y", {1, 30, 0, 0}},
      {"-1", {0, 0, 0xFFFF, 0}},
      {"99999", {0, 0, 99999 & 0xFFFF, 0}},
      {"99999999999", {0, 0, 0xFFFF, 0}},
      {"-99999999999", {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const ClockFields got = ParseClockText(c.text);
    EXPECT_EQ(got.hours, c.expected.hours) << c.text;
    EXPECT_EQ(got.minutes, c.expected.minutes) << c.text;
    EXPECT_EQ(got.seconds, c.expected.seconds) << c.text;
    EXPECT_EQ(got.milliseconds, c.expected.milliseconds) << c.text;
  }
}

TEST(ClockTicks, CountsNinetyKilohertzTicks) {
  EXPECT_EQ(ClockTicks({1, 30, 0, 0}), Seconds(5400));
  EXPECT_EQ(ClockTicks({0, 0, 1, 500}), Seconds(1) + 45000);
  // The largest fields still count exactly.
  EXPECT_EQ(ClockTicks({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}), 21593133048150ull);
}

using Window = std::pair<std::uint64_t, std::uint64_t>;

// Reads every item of `text` as the gate would, one after the other.
std::vector<Window> AllWindows(const char* text) {
  DurationWindows windows;
  StartWindows(windows, text);
  std::vector<Window> all = {{windows.windowStart, windows.windowEnd}};
  for (int guard = 0; windows.windowCursor && guard < 10; ++guard) {
    ParseNextWindow(windows);
    all.emplace_back(windows.windowStart, windows.windowEnd);
  }
  return all;
}

// list                               | windows
// 90                                 | 0..90 s
// 5- / -5 / -                        | open end / start 0 / unlimited
// 1,,2                               | an empty item is the window 0..0
// 0:01:00-0:02:00,0:05:00-0:06:00    | two windows in order
TEST(ParseNextWindow, ReadsItemsInOrder) {
  const std::uint64_t open = kNoWindowEnd;
  EXPECT_EQ(AllWindows("90"), (std::vector<Window>{{0, Seconds(90)}}));
  EXPECT_EQ(AllWindows("5-"), (std::vector<Window>{{Seconds(5), open}}));
  EXPECT_EQ(AllWindows("-5"), (std::vector<Window>{{0, Seconds(5)}}));
  EXPECT_EQ(AllWindows("-"), (std::vector<Window>{{0, open}}));
  EXPECT_EQ(AllWindows("1,,2"),
            (std::vector<Window>{{0, Seconds(1)}, {0, 0}, {0, Seconds(2)}}));
  EXPECT_EQ(AllWindows("0:01:00-0:02:00,0:05:00-0:06:00"),
            (std::vector<Window>{{Seconds(60), Seconds(120)}, {Seconds(300), Seconds(360)}}));
}

// A list that ends in ',' leaves an empty rest: that reads as an unlimited
// window and the list never runs out, so such a run ends only with its input.
TEST(ParseNextWindow, TrailingCommaOpensAnUnlimitedWindow) {
  DurationWindows windows;
  StartWindows(windows, "90,");
  EXPECT_TRUE(WindowGate(windows, Seconds(91), false));
  EXPECT_EQ(windows.windowEnd, kNoWindowEnd);
  EXPECT_FALSE(WindowsExhausted(windows, Seconds(100000)));
}

// Each step: play time, expected gate answer, expected end of the run.
struct Step {
  std::uint64_t now;
  bool inside;
  bool exhausted;
};

void Walk(const char* text, const std::vector<Step>& steps) {
  DurationWindows windows;
  StartWindows(windows, text);
  for (const Step& step : steps) {
    EXPECT_EQ(WindowGate(windows, step.now, false), step.inside) << text << " at " << step.now;
    EXPECT_EQ(WindowsExhausted(windows, step.now), step.exhausted) << text << " at " << step.now;
  }
}

TEST(WindowGate, FollowsTheWindowsAsPlayTimeAdvances) {
  Walk("0:10:00", {{0, true, false}, {Seconds(599), true, false}, {Seconds(600), true, true}});
  Walk("0:01:00-0:02:00,0:05:00-0:06:00",
       {{0, false, false},
        {Seconds(60), true, false},
        {Seconds(120), true, false},
        {Seconds(121), false, false},
        {Seconds(300), true, false},
        {Seconds(361), false, true}});
  // The second item lies wholly in the past once it is read.
  Walk("0:05:00-0:06:00,0:01:00-0:02:00",
       {{Seconds(30), false, false}, {Seconds(330), true, false}, {Seconds(361), false, true}});
  Walk("0:05:00-", {{Seconds(299), false, false}, {Seconds(300), true, false},
                    {Seconds(1000000), true, false}});
  // Several passed items are skipped for one packet.
  Walk("0:0:10,0:0:20,0:0:30-0:0:40", {{Seconds(35), true, false}, {Seconds(41), false, true}});
}

TEST(WindowGate, StopRequestKeepsPacketsOut) {
  DurationWindows windows;
  StartWindows(windows, "0:05:00-");
  EXPECT_FALSE(WindowGate(windows, Seconds(400), true));
  EXPECT_TRUE(WindowGate(windows, Seconds(400), false));
}

}  // namespace
}  // namespace kestrun
