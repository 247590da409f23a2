#include <gtest/gtest.h>

#include <ostream>

#include "ts/ts_context.h"
#include "ts_test_packets.h"

namespace kestrun::ts_test {
namespace {

// Where the header fields end, by packet shape:
//   shape                              headerLength  PES  adaptation
//   PES start, no adaptation field     4             yes  no
//   PES start, adaptation of 7         12            yes  yes
//   PSI start, pointer 0               5             no   no
//   PSI start, adaptation 10, ptr 0    16            no   yes
//   PSI start, pointer 3               8             no   no
//   PSI start, pointer 182             187           no   no
//   PSI start, pointer 183 / 255       188 (none)    no   no
//   PSI start, adaptation 182, ptr 0   188 (none)    no   yes
//   unit start, adaptation 183/184/255 188 (none)    no   yes
//   continuation, adaptation 20        25            -    yes
struct OffsetCase {
  const char* name;
  bool unitStart;
  std::uint8_t adaptationControl;
  std::optional<std::uint8_t> adaptationLength;
  Bytes payload;
  std::uint8_t headerLength;
  bool hasPes;
};

const Bytes kPes = PesHeader(0xE0, 900000);

const OffsetCase kOffsetCases[] = {
    {"PesPlain", true, 1, std::nullopt, kPes, 4, true},
    {"PesAfterAdaptation", true, 3, 7, kPes, 12, true},
    {"PsiPlain", true, 1, std::nullopt, {0x00, 0x02}, 5, false},
    {"PsiAfterAdaptation", true, 3, 10, {0x00, 0x02}, 16, false},
    {"PsiPointer3", true, 1, std::nullopt, {0x03, 1, 2, 3, 0x02}, 8, false},
    {"PsiPointerToLastByte", true, 1, std::nullopt, {182}, 187, false},
    {"PsiPointerPastEnd", true, 1, std::nullopt, {183}, 188, false},
    {"PsiPointer255", true, 1, std::nullopt, {255}, 188, false},
    {"Adaptation182", true, 3, 182, {0x00}, 188, false},
    {"Adaptation183", true, 3, 183, {}, 188, false},
    {"Adaptation184", true, 3, 184, {}, 188, false},
    {"Adaptation255", true, 3, 255, {}, 188, false},
    {"ContinuationAfterAdaptation", false, 3, 20, {}, 25, false},
};

void PrintTo(const OffsetCase& c, std::ostream* out) {
  *out << (c.unitStart ? "unit start" : "continuation") << ", adaptation_field_control "
       << int{c.adaptationControl};
  if (c.adaptationLength) *out << ", adaptation length " << int{*c.adaptationLength};
  *out << ", " << c.payload.size() << " payload bytes";
}

class HeaderOffsetTest : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(HeaderOffsetTest, HeaderLengthAndPes) {
  const OffsetCase& c = GetParam();
  PacketFields f;
  f.unitStart = c.unitStart;
  f.adaptationControl = c.adaptationControl;
  f.adaptationLength = c.adaptationLength;
  f.payload = c.payload;
  const Packet packet = MakePacket(f);

  Analyzer a;
  PidState* state = ParsePacket(packet.data(), *a.context);
  ASSERT_NE(state, nullptr);
  EXPECT_TRUE(state->parsed);
  EXPECT_EQ(state->headerLength, c.headerLength);
  EXPECT_EQ(state->hasPes, c.hasPes);
  EXPECT_EQ(state->hasAdaptation, (c.adaptationControl & 2) != 0);
  if (c.hasPes) {
    EXPECT_EQ(state->pes.pts, 900000u);
    EXPECT_EQ(state->pes.ptsDtsFlags, 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, HeaderOffsetTest, ::testing::ValuesIn(kOffsetCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PacketHeaderTest, DecodesFieldsAndPcr) {
  PacketFields f;
  f.pid = 0x1ABC;
  f.cc = 0x0D;
  f.adaptationControl = 3;
  f.pcr = 0x1ABCDEF01;
  const Packet packet = MakePacket(f);
  Analyzer a;
  PidState* state = ParsePacket(packet.data(), *a.context);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->pid, 0x1ABC);
  EXPECT_EQ(state->cc, 0x0D);
  EXPECT_EQ(state->adaptationControl, 3);
  EXPECT_FALSE(state->unitStart);
  EXPECT_EQ(state->adaptation.length, 7);
  EXPECT_TRUE(state->adaptation.pcrFlag);
  EXPECT_EQ(state->adaptation.pcrBase, 0x1ABCDEF01u);
}

TEST(PacketHeaderTest, EmptyAdaptationFieldHasNoPcr) {
  PacketFields f;
  f.adaptationControl = 3;
  f.adaptationLength = 0;
  f.payload = {0x10, 0x10};  // would read as flags if the length were ignored
  Analyzer a;
  PidState* state = ParsePacket(MakePacket(f).data(), *a.context);
  ASSERT_NE(state, nullptr);
  EXPECT_TRUE(state->hasAdaptation);
  EXPECT_FALSE(state->adaptation.pcrFlag);
  EXPECT_EQ(state->headerLength, 5);
}

TEST(PesHeaderTest, DecodesPtsAndDts) {
  Analyzer a;
  PidState* state = ParsePacket(PesPacket(0x111, 0, 0x1FFFFFFFF, 0x123456789).data(), *a.context);
  ASSERT_NE(state, nullptr);
  EXPECT_TRUE(state->hasPes);
  EXPECT_TRUE(state->pes.hasOptionalHeader);
  EXPECT_EQ(state->pes.startCodePrefix, 0x000001u);
  EXPECT_EQ(state->pes.streamId, 0xE0);
  EXPECT_EQ(state->pes.ptsDtsFlags, 3);
  EXPECT_EQ(state->pes.pts, 0x1FFFFFFFFu);
  EXPECT_EQ(state->pes.dts, 0x123456789u);
}

TEST(PesHeaderTest, PaddingStreamHasNoOptionalHeader) {
  PacketFields f;
  f.unitStart = true;
  f.payload = PesHeader(0xBE, 900000);
  Analyzer a;
  PidState* state = ParsePacket(MakePacket(f).data(), *a.context);
  ASSERT_NE(state, nullptr);
  EXPECT_TRUE(state->hasPes);
  EXPECT_FALSE(state->pes.hasOptionalHeader);
  EXPECT_EQ(state->pes.ptsDtsFlags, 0);
  EXPECT_EQ(state->pes.pts, 0u);
}

// A PES header pushed to the end of the packet by a long adaptation field:
// time stamps that do not fit are not read and their flags are dropped.
//   PES start  PTS bytes  DTS bytes  flags  pts   dts
//   172        181..185   186..190   2      read  0
//   176        185..189   -          0      0     0
TEST(PesHeaderTest, TimestampsCutOffByPacketEndStayZero) {
  struct Case {
    std::uint8_t adaptationLength;
    std::uint8_t flags;
    std::uint64_t pts;
  };
  for (const Case& c : {Case{167, 2, 1234567}, Case{171, 0, 0}}) {
    PacketFields f;
    f.unitStart = true;
    f.adaptationControl = 3;
    f.adaptationLength = c.adaptationLength;
    f.payload = PesHeader(0xE0, 1234567, 7654321);
    Analyzer a;
    PidState* state = ParsePacket(MakePacket(f).data(), *a.context);
    ASSERT_NE(state, nullptr);
    ASSERT_TRUE(state->hasPes) << int(c.adaptationLength);
    EXPECT_EQ(state->pes.ptsDtsFlags, c.flags) << int(c.adaptationLength);
    EXPECT_EQ(state->pes.pts, c.pts);
    EXPECT_EQ(state->pes.dts, 0u);
  }
}

TEST(PesHeaderTest, ContinuationKeepsLastPesHeader) {
  Analyzer a;
  ParsePacket(PesPacket(0x111, 0, 5000).data(), *a.context);
  PidState* state = ParsePacket(CcPacket(0x111, 1).data(), *a.context);
  ASSERT_NE(state, nullptr);
  EXPECT_TRUE(state->hasPes);
  EXPECT_EQ(state->pes.pts, 5000u);
  EXPECT_EQ(state->headerLength, 4);
}

TEST(ParsePacketTest, WrongSyncByteIsIgnored) {
  Analyzer a;
  Packet packet = CcPacket(0x200, 0);
  packet[0] = 0x46;
  EXPECT_EQ(a.Feed(packet).state, nullptr);
  EXPECT_TRUE(a.context->pidList.empty());
  EXPECT_EQ(FindPidState(*a.context, 0x200), nullptr);
}

TEST(ParsePacketTest, RecordsFollowFirstAppearance) {
  Analyzer a;
  for (const std::uint16_t pid : {0x300, 0x100, 0x300, 0x200, 0x100}) a.Feed(CcPacket(pid, 0));
  EXPECT_EQ(PidOrder(*a.context), (std::vector<std::uint16_t>{0x300, 0x100, 0x200}));
  EXPECT_EQ(FindPidState(*a.context, 0x200), a.context->pidList[2].get());
}

TEST(ParsePacketTest, CreateContextReturnsExistingKey) {
  TsContextList list;
  TsContext* first = CreateContext(list, 0, UtcRules());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CreateContext(list, 0, UtcRules()), first);
  EXPECT_NE(CreateContext(list, 1, UtcRules()), first);
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(first->pcrPids[0], kFreePcrSlot);
  FreeContext(list);
  EXPECT_TRUE(list.empty());
}

// A damaged packet (transport_error_indicator) keeps the record, its
// counters and its place; the next good packet is not checked.
TEST(TransportErrorTest, RecordSurvivesAndRestartsCheck) {
  Analyzer a;
  a.Feed(CcPacket(0x100, 0));
  a.Feed(CcPacket(0x200, 0));
  a.Feed(CcPacket(0x100, 1));
  a.Feed(CcPacket(0x100, 3));  // one drop
  PacketFields damaged;
  damaged.pid = 0x100;
  damaged.cc = 9;
  damaged.transportError = true;
  EXPECT_EQ(a.Feed(MakePacket(damaged)).state, nullptr);

  PidState* state = FindPidState(*a.context, 0x100);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->totalCount, 3u);
  EXPECT_EQ(state->dropCount, 1u);
  EXPECT_TRUE(state->first);

  const Analyzer::Step next = a.Feed(CcPacket(0x100, 12));  // any counter
  EXPECT_EQ(next.state, state);
  EXPECT_FALSE(next.drop);
  EXPECT_EQ(state->totalCount, 4u);
  EXPECT_EQ(state->dropCount, 1u);
  EXPECT_FALSE(a.Feed(CcPacket(0x100, 13)).drop);
  EXPECT_EQ(PidOrder(*a.context), (std::vector<std::uint16_t>{0x100, 0x200}));
}

TEST(TransportErrorTest, UnseenPidGetsNoRecord) {
  Analyzer a;
  PacketFields damaged;
  damaged.pid = 0x321;
  damaged.transportError = true;
  EXPECT_EQ(a.Feed(MakePacket(damaged)).state, nullptr);
  EXPECT_TRUE(a.context->pidList.empty());
}

TEST(TransportErrorTest, SectionInCollectionIsLost) {
  Analyzer a;
  a.FeedAll(SectionPackets(0, PatSection({{1, 0x101}})));
  const std::vector<Packet> pmt = SectionPackets(0x101, PmtSection(1, 0x1FF, 300), 4);
  ASSERT_EQ(pmt.size(), 2u);
  a.Feed(pmt[0]);
  EXPECT_GT(FindPidState(*a.context, 0x101)->sectionRemaining, 0);
  Packet damaged = pmt[1];
  damaged[1] |= 0x80;
  a.Feed(damaged);
  EXPECT_EQ(FindPidState(*a.context, 0x101)->sectionRemaining, 0);
  a.Feed(pmt[1]);  // the same bytes again, now without the error
  EXPECT_FALSE(HasPcrPid(*a.context));
}

}  // namespace
}  // namespace kestrun::ts_test
