// The console, the log and the exit code under each continuity rule, on a
// stream where the two disagree: the video PID carries the PCR (exempt from
// the default rule, checked by the MPEG-2 systems rule) and loses packets,
// the null PID repeats its counter, and an audio packet without payload
// keeps its counter. Worked out by hand; on every build.
#include <gtest/gtest.h>

#include "e2e/stream_e2e.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "ts/ts_test_packets.h"

namespace kestrun::stream_e2e {
namespace {

using ts_test::Packet;

constexpr std::uint16_t kVideo = 0x0111;
constexpr std::uint16_t kAudio = 0x0112;
constexpr std::uint16_t kNull = 0x1FFF;

std::string Stream() {
  std::vector<Packet> packets = ts_test::SectionPackets(0x0000, ts_test::PatSection({{1, 0x01F0}}));
  for (const Packet& p : ts_test::SectionPackets(0x01F0, ts_test::PmtSection(1, kVideo))) packets.push_back(p);
  for (const std::uint8_t cc : {0, 1, 5}) packets.push_back(ts_test::CcPacket(kVideo, cc));  // 3 lost
  for (int i = 0; i < 3; ++i) packets.push_back(ts_test::CcPacket(kNull, 0));
  packets.push_back(ts_test::CcPacket(kAudio, 0));
  ts_test::PacketFields noPayload;
  noPayload.pid = kAudio;
  noPayload.adaptationControl = 2;
  packets.push_back(ts_test::MakePacket(noPayload));
  packets.push_back(ts_test::CcPacket(kAudio, 1));
  std::string bytes;
  for (const Packet& p : packets) bytes.append(p.begin(), p.end());
  return bytes;
}

std::string Line(int pid, int lastCc, long long drops, long long total, bool exempt) {
  return FormatText(text::kFmtPidSummary, pid, lastCc, drops, drops == 0 || drops == 1 ? "" : "s", total,
                    exempt ? text::kWordExempt : "");
}

// Packets: PAT 0, PMT 1, video 2-4, null 5-7, audio 8-10.
std::string Offset(int packet) { return OffsetField(static_cast<std::uint64_t>(packet) * 188); }

struct RuleCase {
  const char* name;
  std::vector<std::string> options;
  std::string dropLines;  // with the clock not running: "PCR 0:00:00.000"
  std::string summary;
  int exitCode;
};

class CountingRuleRun : public StreamRun, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { KESTRUN_REQUIRE_BUILD(GetParam(), build_); }
};

TEST_P(CountingRuleRun, ConsoleLogAndExitCodeFollowTheRule) {
  const std::string path = dir_.Write("rules.ts", Stream());
  const std::string shown = build_.Path(path);
  const std::string zero = PlayTime("0:00:00.000");
  const RuleCase cases[] = {
      {"default rule: the null PID and the packet without payload",
       {},
       DropLine(kNull, 1, zero, "", Offset(6)) + DropLine(kNull, 2, zero, "", Offset(7)) +
           DropLine(kAudio, 1, zero, "", Offset(9)),
       Line(0x0000, 0, 0, 1, false) + Line(0x01F0, 0, 0, 1, false) + Line(kVideo, 0, 0, 0, true) +
           Line(kNull, 0, 2, 3, false) + Line(kAudio, 1, 1, 3, false),
       3},
      {"isocc: the video PID's gap",
       {"-isocc"},
       DropLine(kVideo, 1, zero, "", Offset(4)),
       Line(0x0000, 0, 0, 1, false) + Line(0x01F0, 0, 0, 1, false) + Line(kVideo, 5, 1, 3, false) +
           Line(kNull, 0, 0, 3, true) + Line(kAudio, 1, 0, 2, false),
       1},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"-noprogress"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(shown);
    std::remove(dir_.File("rules." + build_.BaseName() + ".log").c_str());
    const auto result = Run(args);
    const std::string record = DropHeader(shown) + c.dropLines;
    const std::string summary = "\r\n" + c.summary + "\r\n";
    EXPECT_EQ(result.out, record + "\n" + summary + Closing(c.exitCode));
    EXPECT_EQ(testing::ReadFileBytes(dir_.File("rules." + build_.BaseName() + ".log")),
              record + summary + Closing(c.exitCode));
    EXPECT_EQ(result.exitCode, c.exitCode);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, CountingRuleRun, ::testing::Values("native", "win64", "win32"));

}  // namespace
}  // namespace kestrun::stream_e2e
