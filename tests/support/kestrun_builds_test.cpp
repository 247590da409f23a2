// The harness's own judgement of which Windows builds this machine can run.
#include "support/kestrun_builds.h"

#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "support/process_runner.h"
#include "support/temp_dir.h"

namespace kestrun::testing {
namespace {

// A 32-bit loader the kernel cannot start (here a file of no executable
// format, which fails the same way: "Exec format error") makes every 32-bit
// Windows test a skip with that reason, also where the Windows builds are
// required.
TEST(KestrunBuilds, LoaderThatCannotStartSkipsThe32BitTestsWithTheReason) {
  TempDir dir;
  const std::string loader = dir.Write("wine", "not a program\n");
  ASSERT_EQ(chmod(loader.c_str(), 0755), 0);
  std::string why;
  EXPECT_FALSE(LauncherStarts(loader, &why));
  EXPECT_NE(why.find("Exec format error"), std::string::npos) << why;

  ProcessOptions options;
  options.env = {{"KESTRUN_WINE32_LOADER", loader}, {"KESTRUN_REQUIRE_WINDOWS", "1"}};
  options.timeout = std::chrono::milliseconds(120000);
  const ProcessResult run = RunProcess(
      {"/proc/self/exe", "--gtest_filter=Builds/CommandLineRun.*/2"}, options);
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("[  SKIPPED ]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Exec format error"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("[  FAILED  ]"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace kestrun::testing
