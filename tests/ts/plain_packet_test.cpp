// The fast lane for plain packets against the full steps, packet by packet:
// the whole analysis state must be the same after each one.
#include "ts/plain_packet.h"

#include <gtest/gtest.h>

#include "ts/same_state.h"
#include "ts/ts_test_packets.h"

namespace kestrun::ts_test {
namespace {

// A drop leaves its PID's drop flag set until the next packet checked; a
// PMT that later arrives on that PID is judged by it.
TEST(PlainPacket, LeavesTheDropFlagAsTheFullStepsDo) {
  struct Case {
    const char* name;
    std::array<std::uint8_t, 2> before;
    bool laterPcrExempt;
    std::uint64_t laterPcrDrops;
  };
  const Case cases[] = {{"a drop, then a packet in order", {2, 3}, true, 0},
                        {"no drop", {1, 2}, true, 0},
                        {"the drop as the last packet checked", {1, 3}, false, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Analyzer full;
    Analyzer fast;
    int taken = 0;
    for (const Packet& packet : PcrPidMovedToPmtPid(c.before)) {
      full.Feed(packet);
      if (AnalysePlainPacket(packet.data(), *fast.context)) {
        ++taken;
      } else {
        fast.Feed(packet);
      }
      ASSERT_TRUE(SameAnalysisState(*full.context, *fast.context));
    }
    EXPECT_GT(taken, 0);
    EXPECT_EQ(IsPcrPid(*full.context, 0x0400), c.laterPcrExempt);
    EXPECT_EQ(FindPidState(*full.context, 0x0400)->dropCount, c.laterPcrDrops);
  }
}

}  // namespace
}  // namespace kestrun::ts_test
