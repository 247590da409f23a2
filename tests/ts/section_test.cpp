#include <gtest/gtest.h>

#include <string>

#include "ts/pid_roles.h"
#include "ts/ts_context.h"
#include "ts_test_packets.h"

namespace kestrun::ts_test {
namespace {

//   input                                 CRC-32/MPEG-2
//   (empty)                               0xFFFFFFFF
//   "123456789"                           0x0376E6E7 (the catalogue check value)
//   00                                    0x4E08BFB4
//   FF FF FF FF                           0x00000000
//   00 01 .. FF                           0x494A116A
//   a broadcast PAT without its CRC       its stored CRC 0x87AF2B5C
TEST(Crc32Test, KnownVectors) {
  struct Case {
    Bytes input;
    std::uint32_t crc;
  };
  const std::string check = "123456789";
  Bytes counting;
  for (int i = 0; i < 256; ++i) counting.push_back(static_cast<std::uint8_t>(i));
  const Case cases[] = {
      {{}, 0xFFFFFFFFu},
      {Bytes(check.begin(), check.end()), 0x0376E6E7u},
      {{0x00}, 0x4E08BFB4u},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 0x00000000u},
      {counting, 0x494A116Au},
      {{0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC3, 0x00, 0x00, 0x08, 0x10, 0xE8, 0x10}, 0x87AF2B5Cu},
  };
  for (const Case& c : cases) EXPECT_EQ(Crc32Mpeg2(c.input.data(), c.input.size()), c.crc);
}

TEST(PatTest, ThreeProgramsInOrder) {
  Analyzer a;
  const std::vector<Packet> pat =
      SectionPackets(kPatPid, PatSection({{0, 0x010}, {0x0400, 0x1F0}, {0x0101, 0x1F1}}));
  ASSERT_EQ(pat.size(), 1u);
  EXPECT_EQ(a.Feed(pat[0]).table, TableResult::PatHandled);
  const ProgramList& programs = a.context->programList;
  ASSERT_EQ(programs.size(), 3u);
  EXPECT_EQ(programs[0].programNumber, 0);
  EXPECT_EQ(programs[0].pmtPid, 0x010);
  EXPECT_EQ(programs[1].programNumber, 0x0400);
  EXPECT_EQ(programs[1].pmtPid, 0x1F0);
  EXPECT_EQ(programs[2].programNumber, 0x0101);
  EXPECT_EQ(programs[2].pmtPid, 0x1F1);
  EXPECT_EQ(FindProgramByPmtPid(*a.context, 0x1F1), &programs[2]);
  EXPECT_EQ(FindProgramByPmtPid(*a.context, 0), nullptr);
  EXPECT_EQ(FindPidState(*a.context, kPatPid)->section.length(), 0);
}

TEST(PatTest, EveryValidSectionReplacesTheList) {
  Analyzer a;
  a.FeedAll(SectionPackets(kPatPid, PatSection({{1, 0x100}, {2, 0x200}})));
  a.FeedAll(SectionPackets(kPatPid, PatSection({{3, 0x300}}), 1));
  ASSERT_EQ(a.context->programList.size(), 1u);
  EXPECT_EQ(a.context->programList[0].programNumber, 3);
  EXPECT_EQ(FindProgramByPmtPid(*a.context, 0x100), nullptr);
  // The PMT PIDs of the old list lose their mark: their packets are plain again.
  EXPECT_EQ(a.context->pidMarks[0x100] | a.context->pidMarks[0x200], 0);
  EXPECT_EQ(a.context->pidMarks[0x300], kPmtPidMark);
}

TEST(PatTest, ProgramNumberFFFFEndsTheLoop) {
  Analyzer a;
  a.FeedAll(SectionPackets(kPatPid, PatSection({{1, 0x100}, {0xFFFF, 0x200}, {3, 0x300}})));
  ASSERT_EQ(a.context->programList.size(), 1u);
}

TEST(PatTest, NonZeroPointerFieldIsHonoured) {
  Analyzer a;
  const std::vector<Packet> pat = SectionPackets(kPatPid, PatSection({{7, 0x107}}), 0, 5);
  EXPECT_EQ(a.Feed(pat[0]).table, TableResult::PatHandled);
  ASSERT_EQ(a.context->programList.size(), 1u);
  EXPECT_EQ(a.context->programList[0].pmtPid, 0x107);
  EXPECT_EQ(FindPidState(*a.context, kPatPid)->headerLength, 4 + 1 + 5);
}

TEST(PatTest, PointerField255LeavesNoSection) {
  Analyzer a;
  PacketFields f;
  f.pid = kPatPid;
  f.unitStart = true;
  f.payload = {255, 0x00, 0xB0, 0x0D};
  PidState* state = ParsePacket(MakePacket(f).data(), *a.context);
  ASSERT_NE(state, nullptr);
  EXPECT_FALSE(ProcessPat(MakePacket(f).data(), *a.context, *state));
  EXPECT_TRUE(a.context->programList.empty());
}

// A section whose header would straddle the end of the packet is not started
// (the table_id byte is the packet's last byte).
TEST(PatTest, SectionHeaderAtPacketEndIsRejected) {
  Analyzer a;
  PacketFields f;
  f.pid = kPatPid;
  f.unitStart = true;
  f.payload = {182};
  const Packet packet = MakePacket(f);
  Packet withTableId = packet;
  withTableId[187] = 0x00;
  PidState* state = ParsePacket(withTableId.data(), *a.context);
  ASSERT_EQ(state->headerLength, 187);
  EXPECT_FALSE(ProcessPat(withTableId.data(), *a.context, *state));
  EXPECT_EQ(state->section.length(), 0);
}

// section_length 4095: 4098 bytes over 23 packets, 1021 program entries, the
// two bytes left before the CRC ignored.
TEST(PatTest, LongestSectionLength) {
  std::vector<Program> programs;
  for (std::uint16_t n = 1; n <= 1021; ++n) programs.push_back({n, static_cast<std::uint16_t>(n + 0x20)});
  Bytes body{0x00, 0x01, 0xC1, 0x00, 0x00};
  for (const Program& p : programs) {
    body.insert(body.end(), {static_cast<std::uint8_t>(p.number >> 8), static_cast<std::uint8_t>(p.number),
                             static_cast<std::uint8_t>(0xE0 | (p.pid >> 8)), static_cast<std::uint8_t>(p.pid)});
  }
  body.insert(body.end(), {0xEE, 0xEE});
  const Bytes section = MakeSection(kPatTableId, body);
  ASSERT_EQ(section.size(), 4098u);
  const std::vector<Packet> packets = SectionPackets(kPatPid, section);
  ASSERT_EQ(packets.size(), 23u);
  Analyzer a;
  a.FeedAll(packets);
  ASSERT_EQ(a.context->programList.size(), 1021u);
  EXPECT_EQ(a.context->programList.back().pmtPid, 1021 + 0x20);
}

TEST(PatTest, CorruptedCrcIsRejected) {
  Bytes section = PatSection({{1, 0x100}});
  section.back() ^= 0x01;
  Analyzer a;
  EXPECT_NE(a.Feed(SectionPackets(kPatPid, section)[0]).table, TableResult::PatHandled);
  EXPECT_TRUE(a.context->programList.empty());
}

class PmtTest : public ::testing::Test {
 protected:
  void SetUp() override { a.FeedAll(SectionPackets(kPatPid, PatSection({{1, 0x101}, {2, 0x102}}))); }
  Analyzer a;
};

TEST_F(PmtTest, TwoPmtsAddPcrPidsInOrder) {
  a.FeedAll(SectionPackets(0x101, PmtSection(1, 0x01FF)));
  a.FeedAll(SectionPackets(0x102, PmtSection(2, 0x0111)));
  EXPECT_EQ(a.context->pcrPids[0], 0x01FF);
  EXPECT_EQ(a.context->pcrPids[1], 0x0111);
  EXPECT_EQ(a.context->pcrPids[2], kFreePcrSlot);
}

TEST_F(PmtTest, CorruptedLastByteChangesNothing) {
  Bytes pmt = PmtSection(1, 0x01FF);
  pmt.back() ^= 0x80;
  a.FeedAll(SectionPackets(0x101, pmt));
  EXPECT_FALSE(HasPcrPid(*a.context));
}

TEST_F(PmtTest, DropInsideSectionDiscardsIt) {
  const Bytes pmt = PmtSection(1, 0x01FF, 300);
  std::vector<Packet> packets = SectionPackets(0x101, pmt, 0);
  ASSERT_EQ(packets.size(), 2u);
  packets[1][3] = static_cast<std::uint8_t>((packets[1][3] & 0xF0) | 0x05);  // cc 5, not 1
  a.Feed(packets[0]);
  EXPECT_EQ(a.Feed(packets[1]).drop, true);
  EXPECT_FALSE(HasPcrPid(*a.context));
  EXPECT_EQ(FindPidState(*a.context, 0x101)->section.length(), 0);

  a.FeedAll(SectionPackets(0x101, pmt, 6));  // the next PMT starts afresh
  EXPECT_EQ(a.context->pcrPids[0], 0x01FF);
}

// Both packets of the section carry an adaptation field before their
// payload; the section bytes are taken after it.
TEST_F(PmtTest, SpreadOverPacketsAfterAdaptationFields) {
  const Bytes pmt = PmtSection(1, 0x0222, 300);
  PacketFields f;
  f.pid = 0x101;
  f.unitStart = true;
  f.adaptationControl = 3;
  f.pcr = 123456;
  f.payload = {0x00};
  const std::size_t firstPart = kTsPacketSize - 4 - 8 - 1;
  f.payload.insert(f.payload.end(), pmt.begin(), pmt.begin() + firstPart);
  a.Feed(MakePacket(f));
  EXPECT_EQ(FindPidState(*a.context, 0x101)->sectionRemaining, pmt.size() - firstPart);

  f.unitStart = false;
  f.cc = 1;
  f.pcr.reset();
  f.adaptationLength = 10;
  f.payload.assign(pmt.begin() + firstPart, pmt.end());
  EXPECT_EQ(a.Feed(MakePacket(f)).table, TableResult::PmtHandled);
  EXPECT_EQ(a.context->pcrPids[0], 0x0222);
}

TEST_F(PmtTest, TooShortForPcrPidIsNotUsed) {
  // table_id, section_length 9, five body bytes, CRC: PCR_PID would overlap
  // the CRC.
  const Bytes tiny = MakeSection(kPmtTableId, {0x00, 0x01, 0xC1, 0x00, 0x00});
  a.FeedAll(SectionPackets(0x101, tiny));
  EXPECT_FALSE(HasPcrPid(*a.context));
}

TEST_F(PmtTest, NullPidAsPcrPidIsRecorded) {
  a.FeedAll(SectionPackets(0x101, PmtSection(1, 0x1FFF)));
  EXPECT_TRUE(IsPcrPid(*a.context, 0x1FFF));
}

// The elementary stream loop gives each stream's PID and stream_type; it
// ends at the CRC_32, also when an ES_info_length or an entry runs into it.
// The roles of the PIDs follow from the PAT and the PMT.
TEST(PmtStreamsTest, StreamLoopIsReadWithinTheSection) {
  using Streams = std::vector<std::pair<int, int>>;
  struct Case {
    const char* name;
    Bytes loop;
    Streams expected;
  };
  const Case cases[] = {
      {"two streams, one descriptor",
       {0x1B, 0xE1, 0x11, 0xF0, 0x02, 0x52, 0x01, 0x0F, 0xE1, 0x12, 0xF0, 0x00},
       {{0x111, 0x1B}, {0x112, 0x0F}}},
      {"descriptors past the CRC", {0x1B, 0xE1, 0x11, 0xF0, 0xFF, 0x0F, 0xE1, 0x12, 0xF0, 0x00},
       {{0x111, 0x1B}}},
      {"entry cut short", {0x1B, 0xE1, 0x11, 0xF0, 0x00, 0x0F, 0xE1}, {{0x111, 0x1B}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Analyzer a;
    a.FeedAll(SectionPackets(kPatPid, PatSection({{0, 0x10}, {1, 0x101}})));
    Bytes body{0x00, 0x01, 0xC1, 0x00, 0x00, 0xE1, 0xFF, 0xF0, 0x00};
    body.insert(body.end(), c.loop.begin(), c.loop.end());
    a.FeedAll(SectionPackets(0x101, MakeSection(kPmtTableId, body)));
    EXPECT_TRUE(IsPcrPid(*a.context, 0x1FF));
    ASSERT_EQ(a.context->pmtPrograms.size(), 1u);
    Streams streams;
    for (const ElementaryStreamEntry& e : a.context->pmtPrograms[0].streams) {
      streams.emplace_back(e.pid, e.streamType);
    }
    EXPECT_EQ(streams, c.expected);
    const std::vector<PidRole> video = RolesOfPid(*a.context, 0x111);
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].kind, PidRoleKind::Elementary);
    EXPECT_EQ(video[0].streamType, 0x1B);
    EXPECT_EQ(RolesOfPid(*a.context, 0x1FF).at(0).kind, PidRoleKind::Pcr);
    EXPECT_EQ(RolesOfPid(*a.context, 0x101).at(0).kind, PidRoleKind::Pmt);
    EXPECT_EQ(RolesOfPid(*a.context, 0x10).at(0).kind, PidRoleKind::Network);
    EXPECT_TRUE(RolesOfPid(*a.context, 0x300).empty());
  }
}

TEST_F(PmtTest, WrongTableIdIsRejected) {
  Bytes pmt = PmtSection(1, 0x01FF);
  pmt[0] = 0x03;
  a.FeedAll(SectionPackets(0x101, pmt));
  EXPECT_FALSE(HasPcrPid(*a.context));
}

// A long PMT ends in a packet whose pointer_field skips its last bytes and
// a second, short PMT starts behind them: both are used, unless a drop
// interrupted the long one.
TEST_F(PmtTest, TailBeforePointerFieldCompletesSection) {
  const Bytes longPmt = PmtSection(1, 0x0222, 300);
  const Bytes shortPmt = PmtSection(1, 0x0333);
  const std::size_t firstPart = kTsPacketSize - 4 - 1;
  const std::size_t tail = longPmt.size() - firstPart;
  ASSERT_LT(tail + shortPmt.size(), kTsPacketSize - 5);
  for (const bool drop : {false, true}) {
    Analyzer b;
    b.FeedAll(SectionPackets(kPatPid, PatSection({{1, 0x101}})));
    b.Feed(SectionPackets(0x101, longPmt)[0]);
    PacketFields f;
    f.pid = 0x101;
    f.cc = drop ? 5 : 1;
    f.unitStart = true;
    f.payload = {static_cast<std::uint8_t>(tail)};
    f.payload.insert(f.payload.end(), longPmt.begin() + static_cast<std::ptrdiff_t>(firstPart),
                     longPmt.end());
    f.payload.insert(f.payload.end(), shortPmt.begin(), shortPmt.end());
    EXPECT_EQ(b.Feed(MakePacket(f)).table, TableResult::PmtHandled) << drop;
    EXPECT_EQ(IsPcrPid(*b.context, 0x0222), !drop);
    EXPECT_TRUE(IsPcrPid(*b.context, 0x0333)) << drop;
  }
}

// The same for a long PAT whose tail shares its packet with the start of
// the next, still incomplete PAT: the programs of the completed one are
// known at once, their PMT PIDs included.
TEST(PatTest, TailBeforePointerFieldReplacesThePrograms) {
  std::vector<Program> programs;
  for (std::uint16_t n = 1; n <= 50; ++n) programs.push_back({n, static_cast<std::uint16_t>(0x100 + n)});
  const Bytes longPat = PatSection(programs);
  const std::size_t firstPart = kTsPacketSize - 4 - 1;
  const std::size_t tail = longPat.size() - firstPart;
  Analyzer a;
  a.Feed(SectionPackets(kPatPid, longPat)[0]);
  PacketFields f;
  f.pid = kPatPid;
  f.cc = 1;
  f.unitStart = true;
  f.payload = {static_cast<std::uint8_t>(tail)};
  f.payload.insert(f.payload.end(), longPat.begin() + static_cast<std::ptrdiff_t>(firstPart),
                   longPat.end());
  f.payload.insert(f.payload.end(), longPat.begin(), longPat.begin() + 20);
  a.Feed(MakePacket(f));
  ASSERT_EQ(a.context->programList.size(), 50u);
  EXPECT_NE(FindProgramByPmtPid(*a.context, 0x100 + 50), nullptr);
}

// Collecting the same section again reuses the buffer: the per-packet path
// does not allocate once the longest section of a PID has been seen.
TEST(SectionBufferTest, CapacityIsKeptBetweenSections) {
  Analyzer a;
  const std::vector<Packet> packets = SectionPackets(0x101, PmtSection(1, 0x0222, 400), 0);
  PidState* state = ParsePacket(packets[0].data(), *a.context);
  ASSERT_EQ(AppendSectionBytes(packets[0].data(), *state, kPmtTableId), SectionResult::Incomplete);
  const std::uint8_t* block = state->section.data.data();
  const std::int32_t capacity = state->section.capacity();
  EXPECT_GE(capacity, 183 + static_cast<std::int32_t>(kSectionReserve));
  for (std::size_t i = 1; i < packets.size(); ++i) {
    ParsePacket(packets[i].data(), *a.context);
    AppendSectionBytes(packets[i].data(), *state, kPmtTableId);
  }
  DiscardSection(*state);
  EXPECT_EQ(state->section.length(), 0);
  EXPECT_EQ(state->section.capacity(), capacity);
  ParsePacket(packets[0].data(), *a.context);
  AppendSectionBytes(packets[0].data(), *state, kPmtTableId);
  EXPECT_EQ(state->section.data.data(), block);
}

TEST(SectionBufferTest, ContinuationWithoutStartIsRejected) {
  Analyzer a;
  PidState* state = ParsePacket(CcPacket(0x101, 0).data(), *a.context);
  EXPECT_EQ(AppendSectionBytes(CcPacket(0x101, 0).data(), *state, kPmtTableId),
            SectionResult::Rejected);
}

}  // namespace
}  // namespace kestrun::ts_test
