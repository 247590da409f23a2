// Continuity counters of generated streams and the manifest's account of
// them: a plain CC walk over the written packets must agree with the
// manifest's per-PID counts for every kind of packet fault.
#include <gtest/gtest.h>

#include <cstdio>

#include "tsgen/ts_walk.h"
#include "tsgen/tsgen.h"

namespace kestrun::tsgen {
namespace {

using testing::CcCount;
using testing::CcWalk;
using testing::Packets;

Profile Short() {
  Profile p = DefaultProfile();
  p.seconds = 1.0;
  return p;
}

// Compares the walk with the manifest for every PID a PMT has not exempted
// (the PCR-only PID repeats its CC and is exempt from its first packet on).
void ExpectManifestMatchesWalk(const Manifest& m, const std::vector<CcCount>& walk) {
  std::vector<CcCount> expected;
  std::uint64_t total = 0;
  for (const CcCount& c : walk) {
    if (c.pid == 0x01FF) continue;
    expected.push_back(c);
    total += c.drops;
  }
  std::vector<CcCount> listed;
  for (const PidExpectation& e : m.pids) {
    if (e.pcr) {
      EXPECT_EQ(e.pid, 0x01FF);
      EXPECT_EQ(e.checked, 0u);
      continue;
    }
    listed.push_back({e.pid, e.checked, e.drops, e.lastCc});
  }
  ASSERT_EQ(listed.size(), expected.size());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    SCOPED_TRACE(listed[i].pid);
    EXPECT_EQ(listed[i].pid, expected[i].pid);
    EXPECT_EQ(listed[i].checked, expected[i].checked);
    EXPECT_EQ(listed[i].drops, expected[i].drops);
    EXPECT_EQ(listed[i].lastCc, expected[i].lastCc);
  }
  EXPECT_EQ(m.totalDrops, total);
  EXPECT_EQ(m.drops.size(), total);
}

TEST(TsgenContinuity, CleanStreamCountsUp) {
  Manifest m;
  const std::vector<CcCount> walk = CcWalk(Packets(Generate(Short(), &m), 188));
  for (const CcCount& c : walk) {
    SCOPED_TRACE(c.pid);
    // Adaptation-only PCR packets keep their counter; all else counts up.
    EXPECT_EQ(c.drops, c.pid == 0x01FF ? c.checked - 1 : 0u);
  }
  ExpectManifestMatchesWalk(m, walk);
}

// Fault on video packet 100 (audio packet 10 for the duplicate) -> drops
// counted on that PID:
//   drop 1            1     gap of one packet
//   drop 3            1     a gap counts once, whatever its length
//   drop 16           0     the counter comes round to the expected value
//   duplicate         1     a repeated counter counts as a drop
//   adaptation-only   1     inserted packet repeats the counter
//   tei               0     the packet after it is counted unchecked
//   loss 2 %          many  random drops on every PID
TEST(TsgenContinuity, FaultsMatchPlainWalk) {
  struct Case {
    const char* name;
    Injection fault;
    std::uint16_t pid;
    int drops;  // -1: more than one
  };
  const Case cases[] = {
      {"drop 1", {InjectKind::Drop, 0x0111, 100, 0.0, 1}, 0x0111, 1},
      {"drop 3", {InjectKind::Drop, 0x0111, 100, 0.0, 3}, 0x0111, 1},
      {"drop 16", {InjectKind::Drop, 0x0111, 100, 0.0, 16}, 0x0111, 0},
      {"duplicate", {InjectKind::Duplicate, 0x0112, 10, 0.0, 1}, 0x0112, 1},
      {"adaptation-only", {InjectKind::AdaptationOnly, 0x0111, 100, 0.0, 1}, 0x0111, 1},
      {"tei", {InjectKind::TransportError, 0x0111, 100, 0.0, 1}, 0x0111, 0},
      {"loss", {InjectKind::Drop, -1, 0, 0.02, 1}, 0x0111, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Profile p = Short();
    p.injections = {c.fault};
    Manifest m;
    const auto packets = Packets(Generate(p, &m), 188);
    const std::vector<CcCount> walk = CcWalk(packets);
    ExpectManifestMatchesWalk(m, walk);
    std::uint64_t drops = 0;
    for (const CcCount& count : walk) drops += count.pid == c.pid ? count.drops : 0;
    if (c.drops < 0) {
      EXPECT_GT(drops, 1u);
    } else {
      EXPECT_EQ(drops, static_cast<std::uint64_t>(c.drops));
    }
  }
}

// The inject line of a drop names the packet after the gap, which is where
// the manifest's drop line (and a checker's report) stands.
TEST(TsgenContinuity, DropRecordPointsAfterTheGap) {
  Profile p = Short();
  p.injections = {{InjectKind::Drop, 0x0111, 500, 0.0, 2}};
  Manifest m;
  const auto packets = Packets(Generate(p, &m), 188);
  ASSERT_EQ(m.injections.size(), 1u);
  const InjectionRecord& r = m.injections[0];
  EXPECT_EQ(r.pid, 0x0111);
  EXPECT_EQ(r.pidIndex, 500u);
  EXPECT_EQ(r.amount, 2u);
  ASSERT_EQ(m.drops.size(), 1u);
  EXPECT_EQ(static_cast<std::int64_t>(m.drops[0].offset), r.offset);
  EXPECT_TRUE(m.drops[0].line);
  // The video packet written before it has PID index 499: counters 499 and
  // 502 mod 16 stand either side of the gap.
  const std::size_t at = static_cast<std::size_t>(r.offset / 188);
  EXPECT_EQ(packets[at].cc, 502 % 16);
}

// First PCR one second before the 33-bit wrap: the PCR values in the stream
// wrap, and the play time of a drop two seconds in carries across it.
TEST(TsgenContinuity, PlayTimeAcrossPcrWrap) {
  Profile p = Short();
  p.seconds = 3.0;
  p.firstPcr = kClockModulus - kTicksPerSecond;
  p.injections = {{InjectKind::Drop, 0x0111, 6800, 0.0, 1}};
  Manifest m;
  const auto packets = Packets(Generate(p, &m), 188);
  bool wrapped = false;
  for (const auto& w : packets) {
    if (w.pid == 0x01FF) wrapped |= w.bytes[6] == 0 && w.bytes[7] == 0;
  }
  EXPECT_TRUE(wrapped);
  ASSERT_EQ(m.drops.size(), 1u);
  EXPECT_GT(m.drops[0].ticks, 18u * kTicksPerSecond / 10);
  EXPECT_LT(m.drops[0].ticks, 22u * kTicksPerSecond / 10);
  const std::uint64_t ms = m.drops[0].ticks / 90;
  char text[32];
  std::snprintf(text, sizeof text, "0:00:%02llu.%03llu", static_cast<unsigned long long>(ms / 1000),
                static_cast<unsigned long long>(ms % 1000));
  EXPECT_EQ(m.drops[0].time, text);
}

TEST(TsgenContinuity, DemoDropsVideoAfterFirstPmt) {
  Manifest m;
  const auto packets = Packets(Generate(DemoProfile(), &m), 188);
  ASSERT_EQ(m.drops.size(), 2u);
  std::size_t firstPmt = 0;
  while (packets[firstPmt].pid != 0x01F0) ++firstPmt;
  for (const DropExpectation& d : m.drops) {
    EXPECT_EQ(d.pid, 0x0111);
    EXPECT_TRUE(d.line);
    EXPECT_TRUE(d.tot.has_value());
    EXPECT_GT(d.offset, packets[firstPmt].offset);
  }
  EXPECT_EQ(m.totalDrops, 2u);
}

TEST(TsgenManifest, TextRoundTrip) {
  Profile p = DemoProfile();
  p.injections.push_back({InjectKind::Garbage, -1, 300, 0.0, 9});
  p.injections.push_back({InjectKind::TransportError, 0x0112, 5, 0.0, 1});
  Manifest m;
  Generate(p, &m);
  ASSERT_EQ(m.injections.size(), 4u);
  const std::string text = FormatManifest(m);
  const std::optional<Manifest> back = ParseManifest(text);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, m);

  EXPECT_FALSE(ParseManifest(text.substr(0, text.size() - 4)).has_value());  // no end line
  EXPECT_FALSE(ParseManifest("tsgen-manifest 1\nstream packet-size=188\nend\n").has_value());
  EXPECT_FALSE(ParseManifest("pid pid=0x0100 checked=1 drops=0 pcr=0 last-cc=0x1\nend\n").has_value());
}

}  // namespace
}  // namespace kestrun::tsgen
