// The two continuity rules side by side on crafted packets: the kind (and
// the packets lost) of every drop of the default rule, and the errors of the
// MPEG-2 systems rule, worked out by hand for each way a counter can break.
#include <gtest/gtest.h>

#include "analysis/analysis_run.h"

namespace kestrun::analysis_test {
namespace {

using ts_test::MakePacket;
using ts_test::PacketFields;
using Events = std::vector<std::pair<DropKind, int>>;

constexpr std::uint16_t kVideo = 0x0111;

Packet Payload(std::uint8_t cc, std::uint8_t fill = 0xAA, std::uint16_t pid = kVideo) {
  PacketFields f;
  f.pid = pid;
  f.cc = cc;
  f.payload.assign(184, fill);
  return MakePacket(f);
}

Packet WithPcr(std::uint8_t cc, std::uint64_t pcr) {
  PacketFields f;
  f.pid = kVideo;
  f.cc = cc;
  f.adaptationControl = 3;
  f.pcr = pcr;
  f.payload.assign(176, 0xAA);
  return MakePacket(f);
}

Packet NoPayload(std::uint8_t cc) {
  PacketFields f;
  f.pid = kVideo;
  f.cc = cc;
  f.adaptationControl = 2;
  return MakePacket(f);
}

Packet Discontinuity(std::uint8_t cc) {
  PacketFields f;
  f.pid = kVideo;
  f.cc = cc;
  f.adaptationControl = 3;
  f.adaptationLength = 1;
  Packet p = MakePacket(f);
  p[5] = 0x80;  // discontinuity_indicator
  return p;
}

Packet Damaged(std::uint8_t cc) {
  PacketFields f;
  f.pid = kVideo;
  f.cc = cc;
  f.transportError = true;
  return MakePacket(f);
}

// PAT and a PMT naming the video PID as PCR PID: the default rule stops
// checking it.
std::vector<Packet> PcrOnVideo() {
  std::vector<Packet> packets = ts_test::SectionPackets(0x0000, ts_test::PatSection({{1, 0x01F0}}));
  for (const Packet& p : ts_test::SectionPackets(0x01F0, ts_test::PmtSection(1, kVideo))) packets.push_back(p);
  return packets;
}

struct Case {
  const char* name;
  std::vector<Packet> packets;
  Events drops;   // default rule: kind, lost packets
  Events errors;  // systems rule
};

TEST(ContinuityRules, DropKindsAndSystemsRuleErrors) {
  std::vector<Packet> pcrPid = PcrOnVideo();
  for (const Packet& p : {Payload(0), Payload(1), Payload(5)}) pcrPid.push_back(p);
  const Case cases[] = {
      {"gap", {Payload(3), Payload(5)}, {{DropKind::Gap, 1}}, {{DropKind::Gap, 1}}},
      {"gap of 14", {Payload(3), Payload(2)}, {{DropKind::Gap, 14}}, {{DropKind::Gap, 14}}},
      {"one copy allowed, the next is an error",
       {Payload(3), Payload(3), Payload(3), Payload(4)},
       {{DropKind::Duplicate, 0}, {DropKind::Repeat, 0}},
       {{DropKind::Repeat, 0}}},
      {"same counter, other bytes", {Payload(3, 0xAA), Payload(3, 0xBB)}, {{DropKind::Repeat, 0}}, {{DropKind::Repeat, 0}}},
      {"a copy may carry another PCR", {WithPcr(3, 1000), WithPcr(3, 2000)}, {{DropKind::Duplicate, 0}}, {}},
      {"no payload keeps its counter",
       {Payload(3), NoPayload(3), NoPayload(3), Payload(4)},
       {{DropKind::NoPayload, 0}, {DropKind::NoPayload, 0}},
       {}},
      {"no payload advancing its counter", {Payload(3), NoPayload(4), Payload(4)}, {{DropKind::Repeat, 0}}, {}},
      {"discontinuity_indicator", {Payload(3), Discontinuity(9), Payload(10)}, {{DropKind::Discontinuity, 0}}, {}},
      {"null PID",
       {Payload(0, 0xFF, 0x1FFF), Payload(0, 0xFF, 0x1FFF), Payload(7, 0xFF, 0x1FFF)},
       {{DropKind::NullPid, 0}, {DropKind::NullPid, 0}},
       {}},
      {"a damaged packet is lost data", {Payload(3), Damaged(4), Payload(5)}, {}, {{DropKind::Gap, 1}}},
      {"a PCR PID is checked by the systems rule", pcrPid, {}, {{DropKind::Gap, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AnalysedJob job = AnalyseStream(Join(c.packets));
    const JobReport& r = job.report;
    EXPECT_EQ(KindsAndLosses(r.drops.items), c.drops);
    EXPECT_EQ(KindsAndLosses(r.continuityErrors.items), c.errors);
    std::uint64_t lost = 0;
    for (const auto& [kind, packets] : c.errors) lost += static_cast<std::uint64_t>(packets);
    EXPECT_EQ(r.continuityErrorTotal, c.errors.size());
    EXPECT_EQ(r.lostPacketsEstimate, lost);
  }
}

// Under the systems rule the summary and the exit code count its errors,
// the PCR PID included.
TEST(ContinuityRules, SummaryTotalFollowsTheRule) {
  std::vector<Packet> packets = PcrOnVideo();
  for (const Packet& p : {Payload(0), Payload(1), Payload(5), Payload(6)}) packets.push_back(p);
  for (int i = 0; i < 3; ++i) packets.push_back(Payload(0, 0xFF, 0x1FFF));
  EXPECT_EQ(AnalyseStream(Join(packets)).summaryTotal, 2);  // the null PID's repeats
  EXPECT_EQ(AnalyseStream(Join(packets), CountingRule::Iso).summaryTotal, 1);  // the video gap
  const JobReport iso = AnalyseStream(Join(packets), CountingRule::Iso).report;
  ASSERT_EQ(iso.continuityErrors.items.size(), 1u);
  EXPECT_TRUE(iso.continuityErrors.items[0].reported);
  EXPECT_FALSE(iso.drops.items[0].reported);
}

}  // namespace
}  // namespace kestrun::analysis_test
