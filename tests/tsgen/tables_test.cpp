// Tables in generated streams: CRC-32/MPEG-2 of PAT, PMT and TOT, the
// program layout, UTC_time coding, and table faults (split PMT, non-zero
// pointer_field) as the manifest sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "tsgen/ts_walk.h"
#include "tsgen/tsgen.h"

namespace kestrun::tsgen {
namespace {

using testing::Packets;
using testing::Sections;
using Bytes = std::vector<std::uint8_t>;

// Bit-at-a-time CRC, independent of the generator's table-driven one.
std::uint32_t SlowCrc(const Bytes& bytes, std::size_t count) {
  std::uint32_t reg = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < count; ++i) {
    reg ^= static_cast<std::uint32_t>(bytes[i]) << 24;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 0x80000000u) ? (reg << 1) ^ 0x04C11DB7u : reg << 1;
  }
  return reg;
}

bool CrcHolds(const Bytes& section) {
  if (section.size() < 4) return false;
  const std::size_t n = section.size() - 4;
  const std::uint32_t stored = (section[n] << 24) | (section[n + 1] << 16) | (section[n + 2] << 8) | section[n + 3];
  return SlowCrc(section, n) == stored;
}

std::uint16_t Pid13(const Bytes& s, std::size_t at) {
  return static_cast<std::uint16_t>(((s[at] & 0x1F) << 8) | s[at + 1]);
}

TEST(TsgenTables, CrcCheckValue) {
  const std::string_view text = "123456789";
  EXPECT_EQ(Crc32Mpeg2(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0x0376E6E7u);
}

// Three programs with the PCR in the video PID: the PAT lists the three PMT
// PIDs in order and each PMT names its own video PID as PCR_PID. Every
// section's CRC holds, the two-packet PMT of the benchmark profile too.
TEST(TsgenTables, PatAndPmtSectionsVerify) {
  Profile p = DefaultProfile();
  p.seconds = 0.3;
  p.programs.front().pcrPid = 0x0111;
  for (std::uint16_t k = 1; k < 3; ++k) {
    ProgramSpec copy = DefaultProfile().programs.front();
    copy.programNumber = static_cast<std::uint16_t>(1 + k);
    copy.pmtPid = static_cast<std::uint16_t>(0x01F0 + k);
    for (ElementaryStream& es : copy.streams) es.pid = static_cast<std::uint16_t>(es.pid + 0x20 * k);
    copy.pcrPid = copy.streams.front().pid;
    p.programs.push_back(copy);
  }
  const auto packets = Packets(Generate(p, nullptr), 188);

  const auto pats = Sections(packets, kPatPid);
  ASSERT_GE(pats.size(), 3u);
  for (const Bytes& pat : pats) {
    ASSERT_TRUE(CrcHolds(pat));
    ASSERT_EQ(pat.size(), 8u + 3 * 4 + 4);
    for (std::size_t k = 0; k < 3; ++k) {
      EXPECT_EQ((pat[8 + 4 * k] << 8) | pat[9 + 4 * k], static_cast<int>(1 + k));
      EXPECT_EQ(Pid13(pat, 10 + 4 * k), 0x01F0 + k);
    }
  }
  for (std::size_t k = 0; k < 3; ++k) {
    const auto pmts = Sections(packets, static_cast<std::uint16_t>(0x01F0 + k));
    ASSERT_EQ(pmts.size(), pats.size());
    for (const Bytes& pmt : pmts) {
      ASSERT_TRUE(CrcHolds(pmt));
      EXPECT_EQ(pmt[0], 0x02);
      EXPECT_EQ(Pid13(pmt, 8), 0x0111 + 0x20 * k);
      EXPECT_EQ(pmt[12], 0x02);  // first stream: MPEG-2 video
      EXPECT_EQ(Pid13(pmt, 13), 0x0111 + 0x20 * k);
    }
  }

  Profile bench = BenchmarkProfile();
  bench.seconds = 0.25;
  const auto benchPmts = Sections(Packets(Generate(bench, nullptr), 188), 0x01F0);
  ASSERT_FALSE(benchPmts.empty());
  EXPECT_GT(benchPmts.front().size(), 183u);  // needs two packets
  EXPECT_TRUE(std::all_of(benchPmts.begin(), benchPmts.end(), CrcHolds));
}

TEST(TsgenTables, UtcTimeCoding) {
  const DateTime known{1993, 10, 13, 12, 45, 0};
  const std::array<std::uint8_t, 5> expected = {0xC0, 0x79, 0x12, 0x45, 0x00};
  EXPECT_EQ(EncodeUtcTime(known), expected);
  EXPECT_EQ(DecodeUtcTime(expected.data()), known);
  const std::uint8_t undefined[5] = {0xC0, 0x79, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(DecodeUtcTime(undefined).has_value());

  // Day, leap-day and year carries.
  EXPECT_EQ(AddSeconds({2024, 2, 28, 23, 59, 59}, 1), (DateTime{2024, 2, 29, 0, 0, 0}));
  EXPECT_EQ(AddSeconds({2023, 2, 28, 23, 59, 59}, 1), (DateTime{2023, 3, 1, 0, 0, 0}));
  EXPECT_EQ(AddSeconds({2025, 12, 31, 23, 59, 58}, 5), (DateTime{2026, 1, 1, 0, 0, 3}));
}

// TDT and TOT start at the profile's time and advance with stream time;
// the TOT carries a descriptor loop and a valid CRC.
TEST(TsgenTables, TimeTablesAdvanceWithStreamTime) {
  Profile p = DefaultProfile();
  p.seconds = 4.5;
  p.timeIntervalSeconds = 2;
  p.startTime = {2025, 12, 31, 23, 59, 58};
  const auto sections = Sections(Packets(Generate(p, nullptr), 188), kTimePid);
  std::vector<DateTime> tdt, tot;
  for (const Bytes& s : sections) {
    const std::optional<DateTime> t = DecodeUtcTime(s.data() + 3);
    ASSERT_TRUE(t.has_value());
    if (s[0] == 0x70) {
      EXPECT_EQ(s.size(), 8u);
      tdt.push_back(*t);
    } else {
      ASSERT_EQ(s[0], 0x73);
      EXPECT_TRUE(CrcHolds(s));
      const std::size_t loop = ((s[8] & 0x0F) << 8) | s[9];
      EXPECT_EQ(s.size(), 10 + loop + 4);
      EXPECT_EQ(s[10], 0x58);  // local_time_offset_descriptor
      tot.push_back(*t);
    }
  }
  const std::vector<DateTime> expected = {{2025, 12, 31, 23, 59, 58}, {2026, 1, 1, 0, 0, 0}, {2026, 1, 1, 0, 0, 2}};
  EXPECT_EQ(tdt, expected);
  EXPECT_EQ(tot, expected);
}

const PidExpectation* FindPid(const Manifest& m, std::uint16_t pid) {
  for (const PidExpectation& e : m.pids) {
    if (e.pid == pid) return &e;
  }
  return nullptr;
}

// Table faults and when the PCR PID (own PID 0x01FF, constant CC) stops
// being checked:
//   split first PMT       -> collected over two packets: exempt at once
//   pointer 3 on first PAT-> a checker takes the section to follow the
//                            pointer_field: the PAT is lost, exempt 100 ms on
//   pointer on every table-> never exempt: the PCR PID's repeated CCs are
//                            counted as drops, without drop lines
TEST(TsgenTables, TableFaultsDelayPcrExemption) {
  struct Case {
    const char* name;
    Injection fault;
    bool exempt;
    bool checkedBeforeExempt;
  };
  const Case cases[] = {
      {"split", {InjectKind::SplitSection, 0x01F0, 0, 0.0, 1}, true, false},
      {"pointer once", {InjectKind::PointerField, kPatPid, 0, 0.0, 3}, true, true},
      {"pointer always", {InjectKind::PointerField, -1, 0, 1.0, 3}, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Profile p = DefaultProfile();
    p.seconds = 0.5;
    p.injections = {c.fault};
    Manifest m;
    const auto packets = Packets(Generate(p, &m), 188);
    ASSERT_FALSE(m.injections.empty());

    const auto pmts = Sections(packets, 0x01F0);
    ASSERT_FALSE(pmts.empty());
    EXPECT_TRUE(std::all_of(pmts.begin(), pmts.end(), CrcHolds));
    const auto first = std::find_if(packets.begin(), packets.end(),
                                    [](const auto& w) { return w.pid == 0x01F0; });
    if (c.fault.kind == InjectKind::SplitSection) {
      EXPECT_EQ(first->control, 3);  // stuffing makes room for half the section
      EXPECT_FALSE(std::next(first)->unitStart);
      EXPECT_EQ(std::next(first)->pid, 0x01F0);
    }

    const PidExpectation* pcr = FindPid(m, 0x01FF);
    ASSERT_NE(pcr, nullptr);
    EXPECT_EQ(pcr->pcr, c.exempt);
    EXPECT_EQ(pcr->checked > 0, c.checkedBeforeExempt);
    EXPECT_EQ(pcr->drops, pcr->checked > 0 ? pcr->checked - 1 : 0);
    EXPECT_EQ(m.totalDrops, c.exempt ? 0 : pcr->drops);
    for (const DropExpectation& d : m.drops) EXPECT_FALSE(d.line);
  }
}

}  // namespace
}  // namespace kestrun::tsgen
