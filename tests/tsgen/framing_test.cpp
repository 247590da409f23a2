// Packet framing of generated streams: the sync byte stride for 188- and
// 192-byte packets, the arrival-time prefix, and how faults between packets
// show in the manifest.
#include <gtest/gtest.h>

#include "tsgen/ts_walk.h"
#include "tsgen/tsgen.h"

namespace kestrun::tsgen {
namespace {

using testing::Packets;

Profile ShortProfile(std::uint32_t packetSize) {
  Profile p = DefaultProfile();
  p.seconds = 0.5;
  p.packetSize = packetSize;
  return p;
}

TEST(TsgenFraming, SyncBytesAtPacketStride) {
  for (std::uint32_t size : {188u, 192u}) {
    SCOPED_TRACE(size);
    Manifest manifest;
    const std::vector<std::uint8_t> stream = Generate(ShortProfile(size), &manifest);
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(stream.size() % size, 0u);
    EXPECT_EQ(stream.size(), manifest.bytes);
    EXPECT_EQ(stream.size() / size, manifest.packets);
    std::size_t syncs = 0;
    for (std::size_t at = size - 188; at < stream.size(); at += size) syncs += stream[at] == 0x47;
    EXPECT_EQ(syncs, manifest.packets);
    EXPECT_EQ(manifest.totalDrops, 0u);
  }
}

// The 4-byte prefix holds a 30-bit 27 MHz arrival time that rises with
// every packet and leaves the copy-permission bits clear.
TEST(TsgenFraming, ArrivalTimePrefixRises) {
  const std::vector<std::uint8_t> stream = Generate(ShortProfile(192), nullptr);
  std::uint32_t previous = 0;
  for (std::size_t at = 0; at + 192 <= stream.size(); at += 192) {
    const std::uint32_t arrival = (stream[at] << 24) | (stream[at + 1] << 16) | (stream[at + 2] << 8) | stream[at + 3];
    ASSERT_LT(arrival, 0x40000000u) << at;
    if (at > 0) {
      ASSERT_GT(arrival, previous) << at;
    }
    previous = arrival;
  }
}

// Scenarios on the first video packet V after packet 100 that another
// video packet follows:
//   one 0x47 prefix before V       -> reader re-syncs, nothing lost
//   0x47 prefixes before V and V+1 -> a false 192-byte frame swallows V
TEST(TsgenFraming, ForcedPrefixSyncBytes) {
  const std::vector<testing::WalkedPacket> clean = Packets(Generate(ShortProfile(192), nullptr), 192);
  std::size_t v = 100;
  while (clean[v].pid != 0x0111 || clean[v + 1].pid != 0x0111) ++v;

  struct Case {
    std::vector<std::uint64_t> forced;
    std::uint64_t drops;
  };
  for (const Case& c : {Case{{v}, 0}, Case{{v, v + 1}, 1}}) {
    SCOPED_TRACE(c.forced.size());
    Profile p = ShortProfile(192);
    for (std::uint64_t index : c.forced) p.injections.push_back({InjectKind::Prefix47, -1, index, 0.0, 1});
    Manifest manifest;
    const std::vector<std::uint8_t> stream = Generate(p, &manifest);
    ASSERT_EQ(manifest.injections.size(), c.forced.size());
    for (std::size_t i = 0; i < c.forced.size(); ++i) {
      EXPECT_EQ(manifest.injections[i].offset, static_cast<std::int64_t>(c.forced[i] * 192));
      EXPECT_EQ(stream[c.forced[i] * 192], 0x47);
    }
    EXPECT_EQ(manifest.totalDrops, c.drops);
    if (c.drops == 1) {
      ASSERT_EQ(manifest.drops.size(), 1u);
      EXPECT_EQ(manifest.drops[0].pid, 0x0111);
      EXPECT_EQ(manifest.drops[0].offset, clean[v + 1].offset);
    }
  }
}

// Garbage after a packet: the reader only keeps a packet whose successor's
// sync byte stands 188 or 192 bytes on, so 7 stray bytes cost the packet
// (a gap on its PID) while 4 read as a 192-byte frame.
TEST(TsgenFraming, GarbageBetweenPackets) {
  struct Case {
    std::uint32_t bytes;
    std::uint64_t drops;
  };
  for (const Case& c : {Case{7, 1}, Case{4, 0}}) {
    SCOPED_TRACE(c.bytes);
    Profile p = ShortProfile(188);
    p.injections = {{InjectKind::Garbage, 0x0111, 50, 0.0, c.bytes}};
    Manifest manifest;
    const std::vector<std::uint8_t> stream = Generate(p, &manifest);
    ASSERT_EQ(manifest.injections.size(), 1u);
    const std::size_t garbageAt = static_cast<std::size_t>(manifest.injections[0].offset);
    for (std::size_t i = 0; i < c.bytes; ++i) EXPECT_NE(stream[garbageAt + i], 0x47);
    EXPECT_EQ(manifest.totalDrops, c.drops);
    if (c.drops == 1) {
      ASSERT_EQ(manifest.drops.size(), 1u);
      EXPECT_EQ(manifest.drops[0].pid, 0x0111);
      EXPECT_GT(manifest.drops[0].offset, garbageAt);
    }
  }
}

}  // namespace
}  // namespace kestrun::tsgen
