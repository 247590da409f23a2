#include "platform/file_view.h"

#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "platform_fixtures.h"
#include "support/kestrun_builds.h"

namespace kestrun::platform {
namespace {

using testing::ScratchFolder;

void TouchFirstByte(void* view) {
  const volatile std::uint8_t* data = static_cast<FileView*>(view)->data;
  (void)data[0];
}

// The guard catches a fault only in the view it guards: a read past the
// end of a cut file in any other view keeps the default action.
TEST(FileViewDeathTest, AFaultOutsideTheGuardedViewIsNotCaught) {
  if (kestrun::testing::kSanitizerBuild) {
    GTEST_SKIP() << "the sanitizer's own SIGBUS handler is the earlier action here, and it files a report";
  }
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  const std::string path = scratch / "cut.ts";
  std::ofstream(path, std::ios::binary) << std::string(3 * ViewAlignment(), '\x47');
  EXPECT_DEATH(
      {
        FileHandle handle = OpenFileForRead(path);
        const FileView guarded = MapFileView(handle, 0, ViewAlignment());
        FileView other = MapFileView(handle, ViewAlignment(), 2 * ViewAlignment());
        GuardView(guarded);
        if (::truncate(path.c_str(), 0) == 0) RunGuardingViews(TouchFirstByte, &other);
      },
      "");
}

}  // namespace
}  // namespace kestrun::platform
