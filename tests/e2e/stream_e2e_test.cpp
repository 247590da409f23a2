// The real program on whole streams: generated ones whose faults the
// generator accounts for, recorded ones, and the reader's start offsets and
// fill boundaries. Console and log bytes are compared exactly.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/stream_e2e.h"
#include "support/catalog.h"

namespace kestrun::stream_e2e {
namespace {

using testing::KestrunBuild;
using testing::ReadFileBytes;
using testing::TempDir;

// Streams with every kind of fault the generator injects:
//   stream  framing  faults
//   a       188      3 programs; first PAT and PMT lost, so the three PCR
//                    PIDs are checked (and drop) until the PMTs arrive; a
//                    drop, 3 packets lost in a row, a duplicate, a TEI packet,
//                    7 garbage bytes (they cost the packet before them)
//   b       192      prefix bytes 0x47, two drops, 5 garbage bytes (a third
//                    drop), a TEI packet on the PCR PID
//   c       188      clean, no TDT/TOT: the summary carries the header
const std::vector<std::string> kStreamA = {
    "-s", "1.5", "--programs", "3", "--time-interval", "1", "--drop", "0x0@0", "--drop",
    "0x1F0@0", "--drop", "0x111@300", "--drop", "0x112@30,3", "--dup", "0x111@900", "--tei",
    "0x111@1200", "--garbage", "0x131@50,7"};
const std::vector<std::string> kStreamB = {
    "-s", "1", "--packet-size", "192", "--prefix47", "0x111@50", "--prefix47", "@2000",
    "--drop", "0x112@20", "--drop", "0x111@1400", "--garbage", "0x111@700,5", "--tei", "0x1FF@3"};
const std::vector<std::string> kStreamC = {"-s", "0.3", "--no-tdt", "--no-tot"};

class StreamRunOnBuild : public StreamRun, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { KESTRUN_REQUIRE_BUILD(GetParam(), build_); }
};

// Three sources in one run: drop lines with PCR and TOT texts and exact
// offsets (fills of 50000 bytes end inside packets), one drop header per
// source, the PCR PIDs marked exempt, and the exit code the manifests add up.
TEST_P(StreamRunOnBuild, InjectedFaultsAsTheManifestsSay) {
  const GeneratedStream a = Generate(dir_, "a.ts", kStreamA);
  const GeneratedStream b = Generate(dir_, "b.ts", kStreamB);
  const GeneratedStream c = Generate(dir_, "c.ts", kStreamC);
  ASSERT_FALSE(c.path.empty());
  ASSERT_EQ(a.manifest.totalDrops, 4u);
  ASSERT_EQ(b.manifest.totalDrops, 3u);

  const auto result = Run({"-noprogress", "-bufsize", "50000", build_.Path(a.path),
                           build_.Path(b.path), build_.Path(c.path)});
  const RunText expected =
      JoinSources({FileSourceText(build_.Path(a.path), a.manifest),
                   FileSourceText(build_.Path(b.path), b.manifest),
                   FileSourceText(build_.Path(c.path), c.manifest)});
  EXPECT_EQ(result.out, expected.console);
  EXPECT_EQ(result.exitCode, expected.exitCode);
  EXPECT_EQ(Log(a), expected.logs[0]);
  EXPECT_EQ(Log(b), expected.logs[1]);
  EXPECT_EQ(Log(c), expected.logs[2]);
}

// Start offsets: 1000 bytes in (the reader finds the next packet; offsets
// stay file positions), the last packet alone, and the end itself.
TEST_P(StreamRunOnBuild, StartOffsetsKeepFilePositions) {
  const GeneratedStream x =
      Generate(dir_, "x.ts", {"-s", "0.6", "--drop", "0x111@400", "--dup", "0x112@40"});
  ASSERT_FALSE(x.path.empty());
  const std::string shown = build_.Path(x.path);
  const auto result =
      Run({"-noprogress", "-bufsize", "48129", shown + ";1000", shown + ";-189", shown + ";-1"});

  // The first PMT lies before byte 1000: the PCR PID is checked (and drops)
  // until the next one; the injected drops keep their file positions.
  const tsgen::Manifest from1000 = ModelOf(x.bytes, 1000);
  ASSERT_EQ(from1000.totalDrops, 2u);
  for (const tsgen::DropExpectation& drop : x.manifest.drops) {
    EXPECT_TRUE(std::any_of(from1000.drops.begin(), from1000.drops.end(), [&](const auto& seen) {
      return seen.pid == drop.pid && seen.offset == drop.offset && seen.line;
    })) << drop.pid;
  }
  const RunText expected = JoinSources({FileSourceText(shown, from1000),
                                        FileSourceText(shown, ModelOf(x.bytes, x.bytes.size() - 188)),
                                        FileSourceText(shown, ModelOf(x.bytes, x.bytes.size()))});
  EXPECT_EQ(result.out, expected.console);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(Log(x), expected.logs[0] + expected.logs[1] + expected.logs[2]);
}

INSTANTIATE_TEST_SUITE_P(Builds, StreamRunOnBuild, ::testing::Values("native", "win64", "win32"));

// Read buffers from the smallest allowed up: the output never depends on
// where a fill ends. 48127 is below the minimum and means the default.
//   bufsize  188-byte fills end        192-byte fills end
//   48128    on packet boundaries      inside packets
//   48129    inside packets            inside packets
//   50000    inside packets            inside packets
TEST_F(StreamRun, FillBoundariesChangeNothing) {
  const GeneratedStream a = Generate(dir_, "a.ts", kStreamA);
  const GeneratedStream b = Generate(dir_, "b.ts", kStreamB);
  const GeneratedStream d =
      Generate(dir_, "d.ts", {"-s", "1", "--garbage", "0x111@3%,3", "--drop", "0x112@2%"});
  ASSERT_FALSE(d.path.empty());
  const RunText expected = JoinSources({FileSourceText(a.path, a.manifest),
                                        FileSourceText(b.path, b.manifest),
                                        FileSourceText(d.path, d.manifest)});
  for (const char* bufsize : {"48127", "48128", "48129", "50000"}) {
    const auto result = Run({"-noprogress", "-nolog", "-bufsize", bufsize, a.path, b.path, d.path});
    EXPECT_EQ(result.out, expected.console) << "bufsize " << bufsize;
    EXPECT_EQ(result.exitCode, expected.exitCode) << "bufsize " << bufsize;
  }
}

// 2500 packets of one PID: a progress line at the 1001st and the 2002nd
// packet, with percentage, play time and offset; no TOT has been seen.
TEST_F(StreamRun, ProgressLinesOnTheConsoleOnly) {
  std::string stream;
  for (int i = 0; i < 2500; ++i) {
    std::string packet(188, '\xFF');
    packet[0] = 0x47;
    packet[1] = 0x01;
    packet[2] = 0x00;
    packet[3] = static_cast<char>(0x10 | (i & 0x0F));
    stream += packet;
  }
  const std::string path = dir_.Write("p.ts", stream);
  testing::ProcessOptions terminal;
  terminal.stdoutTerminal = true;
  const auto result = Run({path}, terminal);
  const std::string summary = DropHeader(path) + "0x0100 : 0x03 : 0 Drop : 2500 Total \r\n\r\n";
  EXPECT_EQ(result.out, kNotice + "40 % , PCR 0:00:00.000 , +0x2DE60\r" + kNotice +
                            "80 % , PCR 0:00:00.000 , +0x5BD7C\r\n" + summary + Closing(0));
  EXPECT_EQ(ReadFileBytes(dir_.File("p.kestrun.log")), summary + Closing(0));
}

// With progress lines the log is the same, and the console differs only by
// the progress lines and the line breaks that end them.
TEST_F(StreamRun, ProgressLinesLeaveTheRecordAlone) {
  const GeneratedStream a = Generate(dir_, "a.ts", kStreamA);
  ASSERT_FALSE(a.path.empty());
  const RunText expected = JoinSources({FileSourceText(a.path, a.manifest)});
  testing::ProcessOptions terminal;
  terminal.stdoutTerminal = true;
  const auto result = Run({a.path}, terminal);
  int progressLines = 0;
  EXPECT_EQ(WithoutProgress(result.out, &progressLines), expected.console);
  EXPECT_GE(progressLines, static_cast<int>(a.manifest.packets / 1001) - 1);
  EXPECT_EQ(Log(a), expected.logs[0]);
}

// A FIFO is read as a pipe: drop lines carry no offset, with and without a
// TOT before them, and the run ends when the writer closes.
TEST_F(StreamRun, PipeSourceHasNoOffsets) {
  TimedStream timing;
  timing.moments = 8;
  timing.drops = {2, 6};
  const std::string bytes = BuildTimedStream(timing);
  const std::string fifo = dir_.File("live");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    int fd = -1;
    for (int i = 0; i < 1000 && fd < 0 && !done; ++i) {
      fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (fd < 0) return;
    fcntl(fd, F_SETFL, 0);
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    close(fd);
  });
  const auto result = Run({"-noprogress", "-nolog", fifo});
  done = true;
  writer.join();
  const std::string tot = TotField(timing.start);
  EXPECT_EQ(result.out,
            DropHeader(fifo) +
                DropLine(0x111, 1, PlayTime("0:00:00.500"), tot, "") +
                DropLine(0x111, 2, PlayTime("0:00:01.500"), TotField(TotAt(timing, 6)), "") +
                "\n\r\n0x01FF : 0x00 : 0 Drop : 1 Total " + text::kWordExempt + "\r\n" +
                "0x0000 : 0x07 : 0 Drop : 8 Total \r\n0x01F0 : 0x07 : 0 Drop : 8 Total \r\n" +
                "0x0014 : 0x07 : 0 Drop : 8 Total \r\n0x0111 : 0x09 : 2 Drops : 8 Total \r\n\r\n" +
                Closing(2));
  EXPECT_EQ(result.exitCode, 2);
}

// Recorded streams against the generator's checker model, read with fills
// that end inside packets:
//   recording                   what it exercises
//   test-064                    PCR on the video PID, 10 s
//   test-030                    9 TEI packets, no PCR
//   test-041                    hand-edited counters, no PMT: no drop lines
//   test-108                    8 PMTs and 9 PCR PIDs: the ninth stays checked
//   test-142                    garbage packets, the reader resyncs
//   test-143                    TEI packets, PCR going backwards
//   test-059.2                  TOT and PCR: drop lines with both texts
//   test-206.1                  TDT/TOT and PCR
//   M2TS.mts                    192-byte packets
TEST_F(StreamRun, RecordedStreamsAsTheModelReadsThem) {
  const char* files[] = {"tsduck-test/input/test-064.ts",
                         "tsduck-test/input/test-030.ts",
                         "tsduck-test/input/test-041.ts",
                         "tsduck-test/input/test-108.ts",
                         "tsduck-test/input/test-142.ts",
                         "tsduck-test/input/test-143.ts",
                         "tsduck-test/reference/test-059/test-059.2.ts",
                         "tsduck-test/reference/test-206/test-206.1.ts",
                         "exiftool/t/images/M2TS.mts"};
  for (const char* file : files) {
    const std::string path = std::string(KESTRUN_SAMPLES_DIR) + "/" + file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample stream not found: " << path;
    const std::string bytes = ReadFileBytes(path);
    const RunText expected = JoinSources({FileSourceText(path, ModelOf(bytes, 0))});
    // The second run also writes a report, which changes nothing of the rest.
    for (const char* bufsize : {"48127", "48129"}) {
      std::vector<std::string> args = {"-noprogress", "-nolog", "-bufsize", bufsize, path};
      if (bufsize == std::string("48129")) args.insert(args.begin(), {"-jsonpath", dir_.File("r.json")});
      const auto result = Run(args);
      EXPECT_EQ(result.out, expected.console) << file << " bufsize " << bufsize;
      EXPECT_EQ(result.exitCode, expected.exitCode) << file;
    }
    EXPECT_NE(ReadFileBytes(dir_.File("r.json")).find("\"end\": \"endOfInput\""), std::string::npos)
        << file;
  }
}

}  // namespace
}  // namespace kestrun::stream_e2e
