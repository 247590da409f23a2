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

// path as given                          | in messages
// ASCII                                  | unchanged
// あ (3-byte UTF-8), 𠮷 (4 bytes, no CP932) | 82 A0, ?
// overlong '/', surrogate, cut short      | not UTF-8: unchanged bytes
// stray continuation byte, past U+10FFFF | not UTF-8: unchanged bytes
TEST(PathForMessage, ConvertsValidUtf8AndKeepsOtherBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"/rec/a.ts", "/rec/a.ts"},
      {"/\xE3\x81\x82/\xF0\xA0\xAE\xB7.ts", "/\x82\xA0/?.ts"},
      {"\xC0\xAF.ts", "\xC0\xAF.ts"},
      {"\xED\xA0\x80.ts", "\xED\xA0\x80.ts"},
      {"a\xE3\x81", "a\xE3\x81"},
      {"\x81\x7C.ts", "\x81\x7C.ts"},
      {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},
  };
  for (const auto& [path, shown] : cases) EXPECT_EQ(PathForMessage(path), shown) << path;
}

}  // namespace
}  // namespace kestrun::platform
