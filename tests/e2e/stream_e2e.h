// Shared pieces of the end-to-end stream tests: generated streams with the
// generator's account of what a checker must find, small hand-timed streams,
// and the exact console and log bytes the program is expected to write.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/kestrun_builds.h"
#include "support/temp_dir.h"
#include "tsgen/tsgen.h"

namespace kestrun::stream_e2e {

// ------------------------------------------------------------ expected text

// "－ " in code page 932.
inline const std::string kNotice = "\x81\x7C ";

std::string DropHeader(const std::string& shownPath);
// Fields that are empty drop out together with their separator.
std::string DropLine(std::uint16_t pid, std::uint64_t count, const std::string& playTime,
                     const std::string& tot, const std::string& offset);
std::string PlayTime(const std::string& hmsms);  // "PCR " + text
std::string TotField(const tsgen::DateTime& time);
std::string OffsetField(std::uint64_t offset);
std::string Closing(int total);
// One PID's summary line and the summary block of a source as the log
// stores it (the console has a line feed in front of the block).
std::string SummaryLine(int pid, int lastCc, long long drops, long long total);
std::string SummaryBlock(const std::string& source, const std::string& lines);
std::string WrapLine(const tsgen::DateTime& time);

// What one source adds to the console (with -noprogress) and to its log.
struct SourceText {
  std::string console;
  std::string log;
  int drops = 0;  // the source's share of the exit code
};

// The drop lines and the summary block of one file source, from a manifest
// (its drop offsets are file positions). `wrapSummary` is the wrap-around
// header and date that open the summary, when one is due.
SourceText FileSourceText(const std::string& shownPath, const tsgen::Manifest& manifest,
                          const std::string& wrapSummary = {});

// The whole run over several sources: console bytes, the bytes of each
// source's log, and the exit code. The closing line goes to the last log.
struct RunText {
  std::string console;
  std::vector<std::string> logs;
  int exitCode = 0;
};
RunText JoinSources(const std::vector<SourceText>& sources);

// ------------------------------------------------------------ streams

struct GeneratedStream {
  std::string path;
  std::string bytes;
  tsgen::Manifest manifest;
};

// Runs the generator with `options` (output and manifest are added) and
// reads back the stream and its manifest; an empty path on failure.
GeneratedStream Generate(const testing::TempDir& dir, const std::string& name,
                         const std::vector<std::string>& options);

// What the generator's checker model finds when reading starts at byte
// `from` (a start offset). Offsets in the result are file positions.
tsgen::Manifest ModelOf(const std::string& bytes, std::size_t from);

// A hand-timed stream: `moments` steps of `stepTicks`; at moment k the PCR
// packet (PID 0x01FF, value firstPcr + k * step, modulo 2^33), the PAT
// (program 1 on 0x01F0), the PMT (PCR PID 0x01FF), a TOT (start + k * step
// whole seconds) and one video packet (0x0111) follow each other. A moment in
// `drops` skips one continuity counter value on the video PID there.
struct TimedStream {
  std::uint64_t firstPcr = 900000;
  std::uint64_t stepTicks = 22500;  // 0.25 s
  int moments = 20;
  std::set<int> drops;
  tsgen::DateTime start{1993, 10, 13, 12, 45, 0};
};
inline constexpr int kPacketsPerMoment = 5;
std::string BuildTimedStream(const TimedStream& timing);
// The TOT time sent at moment k.
tsgen::DateTime TotAt(const TimedStream& timing, int moment);

// ------------------------------------------------------------ fixture

// Runs one build of the program in the test's own folder; the log of a file
// source lies next to it.
class StreamRun : public ::testing::Test {
 protected:
  testing::ProcessResult Run(const std::vector<std::string>& args,
                             testing::ProcessOptions options = {}) {
    options.workingDirectory = dir_.path();
    return build_.Run(args, options);
  }

  std::string Log(const GeneratedStream& stream) const {
    const std::string path = stream.path;
    return testing::ReadFileBytes(path.substr(0, path.rfind('.')) + "." + build_.BaseName() +
                                  ".log");
  }

  testing::KestrunBuild build_{"native", KESTRUN_BIN, "", false};
  testing::TempDir dir_;
};

// Strips the console-only progress lines ("－ ...\r" without a line feed) and
// the "\r\n" that ends a progress line before the next record.
std::string WithoutProgress(const std::string& console, int* progressLines = nullptr);

}  // namespace kestrun::stream_e2e
