// The real program on streams whose clocks, tables and broadcast times are
// known exactly: play times from every kind of clock step, the wrap-around
// prediction in the machine's local time, and the duration windows.
#include <cstdio>

#include <gtest/gtest.h>

#include "e2e/stream_e2e.h"
#include "support/catalog.h"
#include "ts/ts_test_packets.h"

namespace kestrun::stream_e2e {
namespace {

using testing::KestrunBuild;
using testing::TempDir;
using namespace ts_test;

std::string Text(const Packet& packet) {
  return std::string(reinterpret_cast<const char*>(packet.data()), packet.size());
}

std::string Text(const Bytes& section, std::uint16_t pid, std::uint8_t cc = 0) {
  std::string out;
  for (const Packet& packet : SectionPackets(pid, section, cc)) out += Text(packet);
  return out;
}

std::string ClockText(std::uint64_t ticks) {
  char text[64];
  const std::uint64_t seconds = ticks / 90000;
  std::snprintf(text, sizeof text, "%llu:%02u:%02u.%03u",
                static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60),
                static_cast<unsigned>(ticks % 90000 / 90));
  return text;
}

constexpr std::uint16_t kPcrPid = 0x01FF;
constexpr std::uint16_t kVideo = 0x0111;
const tsgen::DateTime kTot1993{1993, 10, 13, 12, 45, 0};

// PAT (program 1 on PMT PID 0x01F0), PMT naming `pcrPid`, then the two clock
// samples each followed by a video packet; the second video packet skips a
// counter value, so its drop line shows the play time of the second sample.
// `tot` comes between the samples and the drop when given.
struct ClockStream {
  std::string bytes;
  std::uint64_t dropOffset = 0;
};

ClockStream PcrSamples(std::uint64_t first, std::uint64_t second,
                       const std::optional<tsgen::DateTime>& tot = std::nullopt) {
  ClockStream s;
  s.bytes = Text(PatSection({{1, 0x01F0}}), kPatPid) + Text(PmtSection(1, kPcrPid), 0x01F0) +
            Text(PcrPacket(kPcrPid, 0, first)) + Text(CcPacket(kVideo, 0)) +
            Text(PcrPacket(kPcrPid, 1, second));
  if (tot) s.bytes += Text(TimePacket(kTotTableId, tsgen::EncodeUtcTime(*tot)));
  s.dropOffset = s.bytes.size();
  s.bytes += Text(CcPacket(kVideo, 2));
  return s;
}

// No PCR anywhere: the PMT names 0x1FFF and the play time comes from PTS.
ClockStream PtsSamples(std::uint64_t first, std::uint64_t second) {
  ClockStream s;
  s.bytes = Text(PatSection({{1, 0x01F0}}), kPatPid) + Text(PmtSection(1, 0x1FFF), 0x01F0) +
            Text(PesPacket(kVideo, 0, first));
  s.dropOffset = s.bytes.size();
  s.bytes += Text(PesPacket(kVideo, 2, second));
  return s;
}

// The summary of a ClockStream source after its drop line was printed.
std::string ClockSummary(bool pcrPacketsSeen, bool tot) {
  std::string summary = "\n\r\n0x0000 : 0x00 : 0 Drop : 1 Total \r\n0x01F0 : 0x00 : 0 Drop : 1 Total \r\n";
  if (pcrPacketsSeen) {
    summary += std::string("0x01FF : 0x00 : 0 Drop : 0 Total ") + text::kWordExempt + "\r\n";
  }
  summary += "0x0111 : 0x02 : 1 Drop : 2 Total \r\n";
  if (tot) summary += "0x0014 : 0x00 : 0 Drop : 1 Total \r\n";
  return summary + "\r\n";
}

testing::ProcessOptions InZone(const char* zone) {
  testing::ProcessOptions options;
  options.env = {{"TZ", zone}};
  return options;
}

class ClockRun : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { KESTRUN_REQUIRE_BUILD(GetParam(), build_); }
  KestrunBuild build_;
  TempDir dir_;
};

// Clock samples and the play time of the drop line after the second:
//   samples                          play time       why
//   1000, 91000                      0:00:01.000
//   0x1FFFFFF00, 0x100               0:00:00.005     wrap: 511 ticks
//   900000, 899999                   0:00:00.000     < 1 s back: restart
//   900000, 800000                   26:30:42.606    >= 1 s back: a wrap
//   1000, +323999999                 0:59:59.999     one tick short of 1 h
//   1000, +324000000                 1:00:00.000
//   1000, +2^31                      6:37:40.929     past 32 bits of ticks
//   1000, +26 h                      26:00:00.000
//   PTS 2000000, 2180000 (no PCR)    0:00:02.000     labelled PCR all the same
// All sources run in one process, each with its own drop header.
TEST_P(ClockRun, PlayTimesOfEveryClockStep) {
  struct Case {
    ClockStream stream;
    std::uint64_t ticks;
    bool pcr;
  };
  const Case cases[] = {
      {PcrSamples(1000, 91000), 90000, true},
      {PcrSamples(0x1FFFFFF00, 0x100), 511, true},
      {PcrSamples(900000, 899999), 0, true},
      {PcrSamples(900000, 800000), 800000 + 0x1FFFFFFFFull - 900000, true},
      {PcrSamples(1000, 1000 + 323999999), 323999999, true},
      {PcrSamples(1000, 1000 + 324000000), 324000000, true},
      {PcrSamples(1000, 1000 + 0x80000000ull), 0x80000000ull, true},
      {PcrSamples(1000, 1000 + 26ull * 3600 * 90000), 26ull * 3600 * 90000, true},
      {PtsSamples(2000000, 2180000), 180000, false},
  };
  ASSERT_EQ(ClockText(800000 + 0x1FFFFFFFFull - 900000), "26:30:42.606");
  std::vector<std::string> args = {"-noprogress", "-nolog"};
  std::string expected;
  int n = 0;
  for (const Case& c : cases) {
    const std::string shown = build_.Path(dir_.Write("clock" + std::to_string(n++) + ".ts", c.stream.bytes));
    args.push_back(shown);
    expected += DropHeader(shown) +
                DropLine(kVideo, 1, PlayTime(ClockText(c.ticks)), "", OffsetField(c.stream.dropOffset)) +
                ClockSummary(c.pcr, false);
  }
  const auto result = build_.Run(args, InZone("Asia/Tokyo"));
  EXPECT_EQ(result.out, expected + Closing(n));
  EXPECT_EQ(result.exitCode, n);
}

// The wrap-around prediction and its dates in the machine's local time. The
// TOT arrives while the PCR clock has base 0x100000000 and 90000 ticks
// elapsed: 0x1FFFFFFFF - 90000 - 0x100000000 = 4294877295 ticks to the wrap,
// 47720 s (13:15:20) after the TOT, counted in real seconds. Across the
// change to summer time in Berlin the wall clock gains an hour.
// The Windows builds convert with the zone bias in force at the time of the
// run (FileTimeToLocalFileTime), and Wine takes its zone from its prefix, so
// the summer-time case runs on the native build only.
//   zone            TOT                   wrap-around           builds
//   Asia/Tokyo      1993/10/13 12:45:00   1993/10/14 02:00:20   all
//   UTC             1993/10/13 12:45:00   1993/10/14 02:00:20   native
//   Europe/Berlin   2025/03/29 20:00:00   2025/03/30 10:15:20   native
TEST_P(ClockRun, WrapAroundInLocalTime) {
  struct Case {
    const char* zone;
    tsgen::DateTime tot;
    tsgen::DateTime wrap;
    bool everyBuild;
  };
  const Case cases[] = {
      {"Asia/Tokyo", kTot1993, {1993, 10, 14, 2, 0, 20}, true},
      {"UTC", kTot1993, {1993, 10, 14, 2, 0, 20}, false},
      {"Europe/Berlin", {2025, 3, 29, 20, 0, 0}, {2025, 3, 30, 10, 15, 20}, false},
  };
  for (const Case& c : cases) {
    if (build_.windows && !c.everyBuild) continue;
    const ClockStream stream = PcrSamples(0x100000000, 0x100000000 + 90000, c.tot);
    const std::string shown = build_.Path(dir_.Write("wrap.ts", stream.bytes));
    const auto result =
        build_.Run({"-noprogress", "-nolog", "-wraparound", shown}, InZone(c.zone));
    const std::string wrapDate = WrapLine(c.wrap).substr(std::string("PCR Wrap-around ").size());
    std::string expected = WrapLine(c.wrap) + DropHeader(shown) +
                           DropLine(kVideo, 1, PlayTime("0:00:01.000"), TotField(c.tot),
                                    OffsetField(stream.dropOffset)) +
                           ClockSummary(true, true);
    expected.insert(expected.find("\n\r\n") + 1, kNotice + "PCR Wrap-around " + shown + "\r\n" + wrapDate);
    EXPECT_EQ(result.out, expected + Closing(1)) << c.zone;
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, ClockRun, ::testing::Values("native", "win64", "win32"));

// ------------------------------------------------------------ windows

// A timed stream read with a duration: `last` is the moment whose PCR packet
// is the last one read (the run ends at the next pass), -1 when the whole
// stream is read; `tables` the moments whose PAT, PMT and TOT pass the gate.
struct WindowCase {
  const char* duration;
  TimedStream timing;
  int last;
  std::set<int> tables;
};

// The console of a -noprogress run over a timed stream, from the moments
// read and the moments whose tables were read.
RunText TimedRunText(const std::string& shown, const TimedStream& timing, int last,
                     const std::set<int>& tables) {
  const int read = last < 0 ? timing.moments : last;  // moments read whole
  std::string lines;
  int drops = 0;
  int videoCc = -1;
  for (int k = 0; k < read; ++k) {
    videoCc += timing.drops.count(k) != 0 ? 2 : 1;
    if (timing.drops.count(k) == 0) continue;
    ++drops;
    auto seen = tables.upper_bound(k);
    if (seen == tables.begin()) continue;  // no PMT read yet: counted only
    const int lastTables = *--seen;
    const std::uint64_t offset = (static_cast<std::uint64_t>(k) * kPacketsPerMoment + 4) * 188;
    lines += DropLine(kVideo, static_cast<std::uint64_t>(drops), PlayTime(ClockText(timing.stepTicks * k)),
                      TotField(TotAt(timing, lastTables)), OffsetField(offset));
  }
  const int pcrPackets = read + (last < 0 ? 0 : 1);
  const bool exempt = !tables.empty() && *tables.begin() < read;
  const int pcrChecked = exempt ? *tables.begin() + 1 : pcrPackets;
  char text[512];
  std::string summary = lines.empty() ? DropHeader(shown) : "\r\n";
  std::snprintf(text, sizeof text, "0x01FF : 0x%02X : 0 Drop : %d Total %s\r\n",
                (pcrChecked - 1) & 0x0F, pcrChecked, exempt ? text::kWordExempt : "");
  summary += text;
  for (const char* pid : {"0x0000", "0x01F0", "0x0014"}) {
    std::snprintf(text, sizeof text, "%s : 0x%02X : 0 Drop : %d Total \r\n", pid, (read - 1) & 0x0F, read);
    summary += text;
  }
  std::snprintf(text, sizeof text, "0x0111 : 0x%02X : %d Drop%s : %d Total \r\n", videoCc & 0x0F,
                drops, drops == 0 || drops == 1 ? "" : "s", read);
  summary += text;
  SourceText source;
  source.console = (lines.empty() ? "" : DropHeader(shown) + lines) + "\n" + summary + "\r\n";
  source.drops = drops;
  return JoinSources({source});
}

TimedStream Quarters() {
  TimedStream timing;
  timing.drops = {1, 3, 5, 7, 9, 13, 17};
  return timing;
}

TimedStream HalfMinutes() {
  TimedStream timing;
  timing.stepTicks = 30 * 90000;
  timing.moments = 6;
  timing.drops = {2, 4};
  return timing;
}

// Moments every 0.25 s (20) or every 30 s (6); drops at the listed moments.
//   duration                            ends after PCR of   tables read at
//   0:0:1                               moment 4 (1 s)      0-3
//   0:0:1.5  (".5" is ignored)          moment 4            0-3
//   0:0:1:500                           moment 6 (1.5 s)    0-5
//   ,0:0:1   (empty item: 0 to 0)       moment 4            0-3
//   0:0:0:500-0:0:1,0:0:1:500-0:0:2     moment 8            2-4, 6-7
//   0:0:1:500-0:0:2,0:0:0:500-0:0:1     moment 9: the late  6-8
//            item lies in the past once read
//   0:0:3-                              never               12-19
//   -                                   never               all
//   90       (seconds)                  moment 3 (90 s)     0-2
//   1:30     (1 h 30 min)               never               all
const WindowCase kWindowCases[] = {
    {"0:0:1", Quarters(), 4, {0, 1, 2, 3}},
    {"0:0:1.5", Quarters(), 4, {0, 1, 2, 3}},
    {"0:0:1:500", Quarters(), 6, {0, 1, 2, 3, 4, 5}},
    {",0:0:1", Quarters(), 4, {0, 1, 2, 3}},
    {"0:0:0:500-0:0:1,0:0:1:500-0:0:2", Quarters(), 8, {2, 3, 4, 6, 7}},
    {"0:0:1:500-0:0:2,0:0:0:500-0:0:1", Quarters(), 9, {6, 7, 8}},
    {"0:0:3-", Quarters(), -1, {12, 13, 14, 15, 16, 17, 18, 19}},
    {"-", Quarters(), -1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
    {"90", HalfMinutes(), 3, {0, 1, 2}},
    {"1:30", HalfMinutes(), -1, {0, 1, 2, 3, 4, 5}},
};

void RunWindowCase(const KestrunBuild& build, const TempDir& dir, const WindowCase& c) {
  const std::string shown = build.Path(dir.Write("timed.ts", BuildTimedStream(c.timing)));
  const auto result = build.Run({"-noprogress", "-nolog", "-duration", c.duration, shown});
  const RunText expected = TimedRunText(shown, c.timing, c.last, c.tables);
  EXPECT_EQ(result.out, expected.console) << c.duration;
  EXPECT_EQ(result.exitCode, expected.exitCode) << c.duration;
}

TEST(WindowRun, WindowsGateTablesAndEndTheRun) {
  KestrunBuild build{"native", KESTRUN_BIN, "", false};
  TempDir dir;
  for (const WindowCase& c : kWindowCases) RunWindowCase(build, dir, c);
}

// Two windows out of order, on every build: the late item is read and
// skipped once the first window has passed.
TEST_P(ClockRun, TwoWindowsOutOfOrder) { RunWindowCase(build_, dir_, kWindowCases[5]); }

// Generated streams whose PCR wraps 1 s in, with a TOT every second from
// 2025/04/01 12:00:00:
//   TOT at 1 s: the clock has not wrapped yet and reaches 0x1FFFFFFFF within
//               the second: the wrap is predicted for that TOT's own time;
//   TOT at 2 s: that moment has passed; the clock has wrapped, so the next
//               wrap is 2^33 - 1 ticks after its base: 95443 s after 12:00:00
//               (2025/04/02 14:30:43).
// In w.ts a drop after the wrap shows the play time running on; v.ts has no
// drop, so its summary puts the wrap-around lines before the drop header.
// Each source makes its own predictions.
TEST(WrapRun, GeneratedStreamsAcrossThePcrWrap) {
  TempDir dir;
  const std::vector<std::string> wrapping = {"--wrap-after", "1", "--time-interval", "1",
                                             "--start-time", "2025-04-01T12:00:00"};
  std::vector<std::string> withDrop = {"-s", "3", "--drop", "0x111@5000"};
  withDrop.insert(withDrop.end(), wrapping.begin(), wrapping.end());
  std::vector<std::string> clean = {"-s", "2.5"};
  clean.insert(clean.end(), wrapping.begin(), wrapping.end());
  const GeneratedStream w = Generate(dir, "w.ts", withDrop);
  const GeneratedStream v = Generate(dir, "v.ts", clean);
  ASSERT_EQ(w.manifest.drops.size(), 1u);
  ASSERT_EQ(v.manifest.drops.size(), 0u);
  const tsgen::DropExpectation& drop = w.manifest.drops[0];
  ASSERT_TRUE(drop.ticks > 90000 * 12 / 10 && drop.ticks < 90000 * 19 / 10) << drop.time;

  const tsgen::DateTime first{2025, 4, 1, 12, 0, 1};
  const tsgen::DateTime second{2025, 4, 2, 14, 30, 43};
  const std::string secondDate = WrapLine(second).substr(std::string("PCR Wrap-around ").size());
  const auto summaryWrap = [&](const std::string& path) {
    return kNotice + "PCR Wrap-around " + path + "\r\n" + secondDate;
  };
  std::string wText = WrapLine(first) + FileSourceText(w.path, w.manifest, summaryWrap(w.path)).console;
  wText.insert(wText.find("\n" + summaryWrap(w.path)), WrapLine(second));
  const std::string vText = WrapLine(first) + WrapLine(second) +
                            FileSourceText(v.path, v.manifest, summaryWrap(v.path)).console;
  for (const char* zone : {"UTC", "Asia/Tokyo"}) {
    const auto result = KestrunBuild{"native", KESTRUN_BIN, "", false}.Run(
        {"-noprogress", "-nolog", "-wraparound", w.path, v.path}, InZone(zone));
    EXPECT_EQ(result.out, wText + vText + Closing(1)) << zone;
    EXPECT_EQ(result.exitCode, 1);
  }
}

}  // namespace
}  // namespace kestrun::stream_e2e
