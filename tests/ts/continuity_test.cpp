#include <gtest/gtest.h>

#include <ostream>

#include "ts/ts_context.h"
#include "ts_test_packets.h"

namespace kestrun::ts_test {
namespace {

// Continuity counters on one PID and what the check makes of them:
//   counters        drop per packet     drops  total
//   14 15 0 1       - - - -             0      4
//   3 5             - D                 1      2
//   3 3             - D                 1      2
//   3 9 10          - D -               1      3
//   7 (first)       -                   0      1
//   2 2 2           - D D               2      3
struct CcCase {
  const char* name;
  std::vector<std::uint8_t> counters;
  std::vector<bool> drops;
};

const CcCase kCcCases[] = {
    {"WrapFifteenToZero", {14, 15, 0, 1}, {false, false, false, false}},
    {"Gap", {3, 5}, {false, true}},
    {"Repeat", {3, 3}, {false, true}},
    {"LongGapCountsOnce", {3, 9, 10}, {false, true, false}},
    {"FirstPacketAnyCounter", {7}, {false}},
    {"StuckCounter", {2, 2, 2}, {false, true, true}},
};

void PrintTo(const CcCase& c, std::ostream* out) {
  *out << "counters";
  for (const std::uint8_t cc : c.counters) *out << ' ' << int{cc};
}

class ContinuityTest : public ::testing::TestWithParam<CcCase> {};

TEST_P(ContinuityTest, CountsDrops) {
  const CcCase& c = GetParam();
  Analyzer a;
  std::uint64_t drops = 0;
  for (std::size_t i = 0; i < c.counters.size(); ++i) {
    const Analyzer::Step step = a.Feed(CcPacket(0x0100, c.counters[i]));
    ASSERT_NE(step.state, nullptr);
    EXPECT_EQ(step.drop, c.drops[i]) << "packet " << i;
    EXPECT_EQ(step.state->dropFlag, c.drops[i]);
    drops += c.drops[i] ? 1 : 0;
  }
  const PidState* state = FindPidState(*a.context, 0x0100);
  EXPECT_EQ(state->dropCount, drops);
  EXPECT_EQ(state->totalCount, c.counters.size());
  EXPECT_EQ(state->lastCc, c.counters.back());
  EXPECT_FALSE(state->first);
}

INSTANTIATE_TEST_SUITE_P(Sequences, ContinuityTest, ::testing::ValuesIn(kCcCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ContinuityTest, AdaptationOnlyPacketsAreCheckedLikeOthers) {
  Analyzer a;
  a.Feed(CcPacket(0x0064, 6));
  PacketFields f;
  f.pid = 0x0064;
  f.cc = 6;
  f.adaptationControl = 2;
  EXPECT_TRUE(a.Feed(MakePacket(f)).drop);
}

TEST(PcrPidTest, ExemptFromTheMomentItIsAdded) {
  Analyzer a;
  a.Feed(CcPacket(0x01FF, 0));
  a.Feed(CcPacket(0x01FF, 5));  // a drop while still checked
  ASSERT_TRUE(AddPcrPid(*a.context, 0x01FF));
  const Analyzer::Step step = a.Feed(CcPacket(0x01FF, 5));
  EXPECT_FALSE(step.drop);
  a.Feed(CcPacket(0x01FF, 11));
  const PidState* state = FindPidState(*a.context, 0x01FF);
  EXPECT_EQ(state->totalCount, 2u);
  EXPECT_EQ(state->dropCount, 1u);
  EXPECT_EQ(state->lastCc, 5);
}

TEST(PcrPidTest, NinthPidIsRefusedAndStaysChecked) {
  Analyzer a;
  for (std::uint16_t pid = 0x100; pid < 0x108; ++pid) EXPECT_TRUE(AddPcrPid(*a.context, pid));
  EXPECT_TRUE(AddPcrPid(*a.context, 0x103));  // already present
  EXPECT_FALSE(AddPcrPid(*a.context, 0x200));
  EXPECT_FALSE(IsPcrPid(*a.context, 0x200));
  a.Feed(CcPacket(0x200, 0));
  EXPECT_TRUE(a.Feed(CcPacket(0x200, 0)).drop);
}

TEST(PcrPidTest, SlotRules) {
  Analyzer a;
  EXPECT_FALSE(HasPcrPid(*a.context));
  EXPECT_FALSE(AddPcrPid(*a.context, 0xFFFF));
  EXPECT_FALSE(IsPcrPid(*a.context, 0xFFFF));
  EXPECT_TRUE(AddPcrPid(*a.context, 0x1FFF));  // "no PCR" is recorded too
  EXPECT_TRUE(HasPcrPid(*a.context));
  EXPECT_TRUE(IsPcrPid(*a.context, 0x1FFF));
  EXPECT_TRUE(AddPcrPid(*a.context, 0x0000));
  EXPECT_EQ(a.context->pcrPids[1], 0x0000);
  EXPECT_EQ(a.context->pcrPids[2], kFreePcrSlot);
}

}  // namespace
}  // namespace kestrun::ts_test
