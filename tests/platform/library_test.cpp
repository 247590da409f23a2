#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform_fixtures.h"

namespace kestrun::platform {
namespace {

TEST(LoadDynamicLibrary, MissingOrEmptyPathGivesNull) {
  testing::ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  EXPECT_EQ(LoadDynamicLibrary(scratch / "BonDriver_Missing.so"), nullptr);
  EXPECT_EQ(LoadDynamicLibrary(""), nullptr);
}

TEST(LoadDynamicLibrary, FindsExportedFunctions) {
  auto library = LoadDynamicLibrary("libm.so.6");
  if (library == nullptr) GTEST_SKIP() << "libm.so.6 is not loadable here";
  using Cosine = double (*)(double);
  const auto cosine = reinterpret_cast<Cosine>(library->Symbol("cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(library->Symbol("NoSuchFunction"), nullptr);
  EXPECT_EQ(library->Symbol(nullptr), nullptr);
}

#ifdef TEST_BONDRIVER
TEST(LoadDynamicLibrary, LoadsTheTestTunerDriver) {
  auto library = LoadDynamicLibrary(TEST_BONDRIVER);
  ASSERT_NE(library, nullptr);
  EXPECT_NE(library->Symbol("CreateBonDriver"), nullptr);
}
#endif

}  // namespace
}  // namespace kestrun::platform
