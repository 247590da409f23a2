// Pins the exact console output of the program on generated streams with
// faults, at read buffer sizes from the smallest allowed to the default, so
// that a change made for speed in the packet path (reader, header decode,
// continuity check, clocks, tables) cannot alter a single byte unnoticed.
//
// Streams (tsgen, fixed seed), each run with and without progress lines:
//   plain188   188-byte packets, random loss, a duplicate, a damaged packet
//              (transport_error_indicator), garbage bytes, an adaptation-only
//              packet, pointer_field filler, a PMT split over two packets,
//              and a PCR wrap-around 6 s in (run with -wraparound)
//   framed192  192-byte packets, loss, a duplicate, a 0x47 prefix byte,
//              garbage bytes
//   ptsOnly    three programs without PCR (the PTS clock gives the play
//              time), loss
// Buffer sizes: 48128 (256 packets, the smallest), 48129 (no multiple of
// either packet size), 65536, 1000000 and the default (-bufsize 0).
//
// Every size must give the same bytes, and those bytes must hash to the
// pinned value. The stream's own hash is pinned too, so that a change of
// the generator is told apart from a change of the program. A deliberate
// change of the output is re-pinned with the hash the failure prints.
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/kestrun_builds.h"
#include "support/process_runner.h"
#include "support/temp_dir.h"

namespace kestrun {
namespace {

using testing::KestrunBuild;
using testing::ProcessOptions;
using testing::ReadFileBytes;
using testing::TempDir;

std::uint64_t Fnv1a64(const std::string& bytes) {
  std::uint64_t hash = 0xCBF29CE484222325ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3ull;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
  return text;
}

struct PinnedStream {
  const char* name;
  std::vector<std::string> tsgenArgs;
  std::vector<std::string> kestrunArgs;  // besides -nolog, -bufsize and the file
  std::uint64_t streamHash;
  std::uint64_t quietHash;     // with -noprogress
  std::uint64_t progressHash;  // with progress lines
  int exitCode;
};

void PrintTo(const PinnedStream& stream, std::ostream* out) { *out << stream.name; }

const PinnedStream kStreams[] = {
    {"plain188",
     {"--seconds", "12", "--wrap-after", "6", "--loss", "0.05", "--dup", "@5000", "--tei",
      "0x0112@300", "--garbage", "@20000,5", "--adaptation-only", "0x0111@1000", "--pointer",
      "@30000", "--split-pmt", "@40000"},
     {"-wraparound"},
     0x23248A6FC0C508E5ull, 0xED55E33DFA770881ull, 0xBE909CF3FFD6EDB4ull, 33},
    {"framed192",
     {"--seconds", "12", "--packet-size", "192", "--loss", "0.05", "--dup", "@5000", "--prefix47",
      "@7000", "--garbage", "@20000,5"},
     {},
     0x11EE030F9D87A595ull, 0x99A273B77E274F13ull, 0xB99E18A49B664E80ull, 32},
    {"ptsOnly",
     {"--seconds", "12", "--pcr-pid", "0x1FFF", "--programs", "3", "--loss", "0.05", "--seed", "7"},
     {},
     0x1DD4B0574A6BADC9ull, 0x7C8E34F702B36761ull, 0xF77CF18C67B396C9ull, 38},
};

const char* const kBufferSizes[] = {"48128", "48129", "65536", "1000000", "0"};

class PinnedOutput : public ::testing::TestWithParam<PinnedStream> {
 protected:
  void SetUp() override {
#if !defined(TSGEN_BIN)
    GTEST_SKIP() << "the stream generator tsgen is not built (KESTRUN_TOOLS=OFF)";
#else
    build_.exe = KESTRUN_BIN;
    const PinnedStream& pinned = GetParam();
    std::vector<std::string> argv = {TSGEN_BIN, "-q", "-o", dir_.File(kStream)};
    argv.insert(argv.end(), pinned.tsgenArgs.begin(), pinned.tsgenArgs.end());
    const testing::ProcessResult made = testing::RunProcess(argv);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ASSERT_EQ(Fnv1a64(ReadFileBytes(dir_.File(kStream))), pinned.streamHash)
        << "tsgen now writes a different " << pinned.name << " stream (hash "
        << Hex(Fnv1a64(ReadFileBytes(dir_.File(kStream))))
        << "): re-pin this table from a build whose output is known to be right";
#endif
  }

  // The source is named relative to the working folder, so the drop header
  // shows the same text wherever the test runs.
  testing::ProcessResult Run(const std::string& bufsize, bool progress) {
    std::vector<std::string> args = {"-nolog", "-bufsize", bufsize};
    if (!progress) args.push_back("-noprogress");
    args.insert(args.end(), GetParam().kestrunArgs.begin(), GetParam().kestrunArgs.end());
    args.push_back(kStream);
    ProcessOptions options;
    options.workingDirectory = dir_.path();
    options.env = {{"TZ", "UTC"}};
    options.stdoutTerminal = progress;  // where progress lines are shown
    return build_.Run(args, options);
  }

  void ExpectPinned(bool progress, std::uint64_t pinnedHash) {
    std::string first;
    for (const char* bufsize : kBufferSizes) {
      SCOPED_TRACE(std::string("-bufsize ") + bufsize + (progress ? ", progress lines" : ""));
      const testing::ProcessResult result = Run(bufsize, progress);
      EXPECT_EQ(result.exitCode, GetParam().exitCode);
      if (first.empty()) {
        first = result.out;
        EXPECT_EQ(Fnv1a64(result.out), pinnedHash)
            << GetParam().name << ": the output changed; its hash is now " << Hex(Fnv1a64(result.out))
            << " (" << result.out.size() << " bytes)";
      } else {
        EXPECT_EQ(result.out, first) << "the output depends on the read buffer size";
      }
    }
  }

  static constexpr const char* kStream = "pinned.ts";
  KestrunBuild build_;
  TempDir dir_;
};

TEST_P(PinnedOutput, WithoutProgressLines) { ExpectPinned(false, GetParam().quietHash); }

TEST_P(PinnedOutput, WithProgressLines) { ExpectPinned(true, GetParam().progressHash); }

INSTANTIATE_TEST_SUITE_P(Streams, PinnedOutput, ::testing::ValuesIn(kStreams),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrun
