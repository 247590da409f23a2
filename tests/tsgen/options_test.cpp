// The tsgen command line: injection places, options on top of a preset,
// and the tool itself writing the same bytes as the library.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tsgen/options.h"
#include "tsgen/tsgen.h"

namespace kestrun::tsgen {
namespace {

// text          -> pid, index, rate, amount (nothing when refused)
TEST(TsgenOptions, InjectionPlaces) {
  struct Case {
    const char* text;
    bool ok;
    int pid;
    std::uint64_t index;
    double rate;
    std::uint32_t amount;
  };
  const Case cases[] = {
      {"0x0111@40", true, 0x0111, 40, 0.0, 1},
      {"273@40,3", true, 0x0111, 40, 0.0, 3},
      {"@1234", true, -1, 1234, 0.0, 1},
      {"0.5%", true, -1, 0, 0.005, 1},
      {"0x112@2%,4", true, 0x0112, 0, 0.02, 4},
      {"40", false, 0, 0, 0, 0},         // PID or index? refused
      {"0x2000@1", false, 0, 0, 0, 0},   // PID out of range
      {"@", false, 0, 0, 0, 0},
      {"0%", false, 0, 0, 0, 0},
      {"1@2,3,4", false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<Injection> i = ParsePlace(InjectKind::Drop, c.text, 1);
    ASSERT_EQ(i.has_value(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(i->pid, c.pid);
    EXPECT_EQ(i->index, c.index);
    EXPECT_DOUBLE_EQ(i->rate, c.rate);
    EXPECT_EQ(i->amount, c.amount);
  }
}

TEST(TsgenOptions, CommandLineBuildsProfile) {
  std::string error;
  auto line = ParseCommandLine({"-o", "x.ts", "--packet-size", "192", "--video", "0x100:0x1B:3M",
                                "--pcr-on-video", "--programs", "2", "--size", "1M", "--drop", "0x100@5"},
                               error);
  ASSERT_TRUE(line.has_value()) << error;
  const Profile& p = line->profile;
  EXPECT_EQ(line->output, "x.ts");
  ASSERT_EQ(p.programs.size(), 2u);
  EXPECT_EQ(p.programs[0].pcrPid, 0x0100);
  EXPECT_EQ(p.programs[1].pcrPid, 0x0120);
  EXPECT_EQ(p.programs[1].pmtPid, 0x01F1);
  EXPECT_EQ(p.programs[0].streams[0].streamType, 0x1B);
  EXPECT_EQ(p.programs[0].streams[0].bitRate, 3'000'000u);
  EXPECT_EQ(p.packetCount, (1u << 20) / 192);
  ASSERT_EQ(p.injections.size(), 1u);
  EXPECT_TRUE(CheckProfile(p).empty()) << CheckProfile(p);

  line = ParseCommandLine({"-o", "x.ts", "--demo", "--pids", "12"}, error);
  ASSERT_TRUE(line.has_value()) << error;
  EXPECT_EQ(line->profile.injections.size(), DemoProfile().injections.size());
  EXPECT_EQ(ProfilePids(line->profile).size(), 12u);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--bogus"}, {"--seconds"}, {"--rate", "fast"}, {"--preset", "huge"},
        {"--no-null=1"}}) {
    EXPECT_FALSE(ParseCommandLine(bad, error).has_value()) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(TsgenOptions, ProfileFaultsAreNamed) {
  Profile p = DefaultProfile();
  p.programs[0].streams[1].pid = 0x0111;  // audio on the video PID
  EXPECT_NE(CheckProfile(p), "");
  EXPECT_TRUE(Generate(p, nullptr).empty());
  p = DefaultProfile();
  p.packetSize = 204;
  EXPECT_NE(CheckProfile(p), "");
}

#ifdef TSGEN_BIN
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TsgenTool, DemoFileMatchesLibrary) {
  const auto dir = std::filesystem::temp_directory_path() / ("tsgen_tool_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  const auto stream = dir / "demo.ts";
  const auto manifest = dir / "demo.txt";
  const std::string command = std::string("\"") + TSGEN_BIN + "\" --demo -q -o \"" + stream.string() +
                              "\" -m \"" + manifest.string() + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0);

  Manifest expected;
  EXPECT_EQ(ReadFile(stream), Generate(DemoProfile(), &expected));
  const std::vector<std::uint8_t> text = ReadFile(manifest);
  EXPECT_EQ(std::string(text.begin(), text.end()), FormatManifest(expected));
  std::filesystem::remove_all(dir);
}
#endif

}  // namespace
}  // namespace kestrun::tsgen
