#include <fstream>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform_fixtures.h"
#include "support/catalog.h"

namespace kestrun::platform {
namespace {

using testing::ScopedEnv;
using testing::ScratchFolder;

// path                 | folder    | name       | extension
// a full path          | /a/b/     | c          | .ts
// dot in the folder    | /a.b/     | c          | (none)
// two dots             | /a/b/     | c.tar      | .gz
// folder only          | /a/b/     | (none)     | (none)
// leading dot          | (none)    | (none)     | .hidden
// Windows-style text   | (none)    | C:\x\y     | .ts    ('\' is no separator)
struct SplitCase {
  const char* path;
  const char* folder;
  const char* name;
  const char* extension;
};

TEST(SplitPath, SplitsFolderNameAndExtension) {
  const SplitCase cases[] = {
      {"/a/b/c.ts", "/a/b/", "c", ".ts"},
      {"c.ts", "", "c", ".ts"},
      {"/a.b/c", "/a.b/", "c", ""},
      {"/a/b/c.tar.gz", "/a/b/", "c.tar", ".gz"},
      {"/a/b/", "/a/b/", "", ""},
      {"/", "/", "", ""},
      {".hidden", "", "", ".hidden"},
      {"", "", "", ""},
      {"C:\\x\\y.ts", "", "C:\\x\\y", ".ts"},
      {"./kestrun", "./", "kestrun", ""},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.path);
    const PathParts parts = SplitPath(c.path);
    EXPECT_EQ(parts.drive, "");
    EXPECT_EQ(parts.folder, c.folder);
    EXPECT_EQ(parts.name, c.name);
    EXPECT_EQ(parts.extension, c.extension);
  }
}

TEST(OptionPrefix, SlashStartsAPathNotAnOption) {
  EXPECT_TRUE(IsOptionPrefix('-'));
  EXPECT_FALSE(IsOptionPrefix('/'));
  EXPECT_EQ(PathSeparator(), '/');
}

// TMPDIR              | result
// a folder            | that folder + '/'
// a folder with '/'   | unchanged
// unset or empty      | /tmp/
// a file, or missing  | /tmp/
TEST(TempFolder, UsesTmpdirOnlyWhenItNamesAFolder) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  const std::string file = scratch / "plain";
  std::ofstream(file) << "x";
  struct Case {
    std::optional<std::string> tmpdir;
    std::string expected;
  };
  const Case cases[] = {
      {scratch.path(), scratch.path() + "/"},
      {scratch.path() + "/", scratch.path() + "/"},
      {std::nullopt, "/tmp/"},
      {"", "/tmp/"},
      {file, "/tmp/"},
      {scratch / "missing", "/tmp/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tmpdir.value_or("(unset)"));
    ScopedEnv tmpdir("TMPDIR", c.tmpdir ? c.tmpdir->c_str() : nullptr);
    EXPECT_EQ(TempFolder(), c.expected);
  }
}

TEST(ExecutablePath, NamesTheRunningTestProgram) {
  const std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(PathExists(path));
  EXPECT_EQ(SplitPath(path).name, "kestrun_tests");
}

TEST(ReadVersionString, GivesTheCompiledInTexts) {
  const std::string exe = ExecutablePath();
  EXPECT_EQ(ReadVersionString(exe, "CompanyName"), std::string(text::kVersionCompanyName));
  EXPECT_EQ(ReadVersionString(exe, "Comments"), std::string(text::kVersionComments));
  EXPECT_EQ(ReadVersionString(exe, "ProductName"), std::nullopt);
}

}  // namespace
}  // namespace kestrun::platform
