#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform_fixtures.h"

namespace kestrun::platform {
namespace {

using testing::ScratchFolder;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// before        | bytes | append | result | contents after
// no file       | abc   | yes    | true   | abc
// abc           | def   | yes    | true   | abcdef
// abc           | xyz   | no     | true   | xyz
// no file       | (0)   | yes    | false  | no file
// folder absent | abc   | yes    | false  | no file
TEST(AppendToFile, CreatesAppendsAndReplaces) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  struct Case {
    const char* label;
    std::optional<std::string> before;
    std::string path;
    std::string bytes;
    bool append;
    bool result;
    std::optional<std::string> after;
  };
  const Case cases[] = {
      {"create", std::nullopt, scratch / "log.txt", "abc", true, true, "abc"},
      {"append", "abc", scratch / "log.txt", "def", true, true, "abcdef"},
      {"replace", "abc", scratch / "log.txt", "xyz", false, true, "xyz"},
      {"nothing to write", std::nullopt, scratch / "log.txt", "", true, false, std::nullopt},
      {"folder absent", std::nullopt, scratch / "absent/log.txt", "abc", true, false, std::nullopt},
      {"empty path", std::nullopt, "", "abc", true, false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ::unlink(c.path.c_str());
    if (c.before) std::ofstream(c.path, std::ios::binary) << *c.before;
    EXPECT_EQ(AppendToFile(c.path, c.bytes.data(), c.bytes.size(), c.append), c.result);
    EXPECT_EQ(PathExists(c.path), c.after.has_value());
    if (c.after) {
      EXPECT_EQ(Contents(c.path), *c.after);
    }
  }
}

// kind      | exists | directory | FIFO
// file      | yes    | no        | no
// folder    | yes    | yes       | no
// FIFO      | yes    | no        | yes
// absent    | no     | no        | no
TEST(PathQueries, TellFilesFoldersAndFifos) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  std::ofstream(scratch / "file") << "x";
  ASSERT_EQ(::mkdir((scratch / "folder").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((scratch / "fifo").c_str(), 0600), 0);
  struct Case {
    const char* name;
    bool exists;
    bool directory;
    bool fifo;
  };
  const Case cases[] = {
      {"file", true, false, false},
      {"folder", true, true, false},
      {"fifo", true, false, true},
      {"absent", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = scratch / c.name;
    EXPECT_EQ(PathExists(path), c.exists);
    EXPECT_EQ(IsDirectory(path), c.directory);
    EXPECT_EQ(IsFifoPath(path), c.fifo);
  }
  EXPECT_FALSE(PathExists(""));
}

TEST(RemoveFile, DeletesOnceAndReportsFailure) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  const std::string path = scratch / "ZIZ1234.tmp";
  std::ofstream(path) << "x";
  EXPECT_TRUE(RemoveFile(path));
  EXPECT_FALSE(PathExists(path));
  EXPECT_FALSE(RemoveFile(path));
}

TEST(OpenFileForRead, RefusesFoldersAndMissingFiles) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  EXPECT_FALSE(OpenFileForRead(scratch.path()).valid());
  EXPECT_FALSE(OpenFileForRead(scratch / "missing.ts").valid());
}

TEST(OpenFileForRead, AFifoWithoutWriterEndsInsteadOfHanging) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  const std::string path = scratch / "fifo";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  FileHandle handle = OpenFileForRead(path);
  ASSERT_TRUE(handle.valid());
  char byte = 0;
  const ReadResult result = ReadFile(handle, &byte, 1);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.count, 0u);
  CloseFile(handle);
}

TEST(ReadFile, ReadsToTheEndAndSeeks) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  const std::string path = scratch / "data.ts";
  std::ofstream(path, std::ios::binary) << "0123456789";
  FileHandle handle = OpenFileForRead(path);
  ASSERT_TRUE(handle.valid());
  EXPECT_EQ(FileSizeOf(handle), 10);

  std::string buffer(16, '\0');
  ReadResult result = ReadFile(handle, buffer.data(), 4);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(buffer.substr(0, result.count), "0123");

  // origin  | distance | new position
  // current | +2       | 6
  // end     | -3       | 7
  // begin   | 1        | 1
  // begin   | -1       | failure (-1)
  EXPECT_EQ(SeekFile(handle, 2, SeekOrigin::Current), 6);
  EXPECT_EQ(SeekFile(handle, -3, SeekOrigin::End), 7);
  result = ReadFile(handle, buffer.data(), 16);
  EXPECT_EQ(buffer.substr(0, result.count), "789");
  result = ReadFile(handle, buffer.data(), 16);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.count, 0u);
  EXPECT_EQ(SeekFile(handle, 1, SeekOrigin::Begin), 1);
  EXPECT_EQ(SeekFile(handle, -1, SeekOrigin::Begin), -1);

  CloseFile(handle);
  EXPECT_FALSE(handle.valid());
  EXPECT_EQ(FileSizeOf(handle), 0);
  EXPECT_EQ(SeekFile(handle, 0, SeekOrigin::Begin), -1);
  EXPECT_FALSE(ReadFile(handle, buffer.data(), 1).ok);
}

TEST(FileSizeOf, HandlesFilesBeyondFourGigabytes) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  const std::string path = scratch / "sparse.ts";
  const std::int64_t size = 5LL * 1024 * 1024 * 1024 + 188;
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const bool extended = ::ftruncate(fd, size) == 0;
    ::close(fd);
    if (!extended) GTEST_SKIP() << "the scratch file system cannot hold a sparse 5 GiB file";
  }
  FileHandle handle = OpenFileForRead(path);
  ASSERT_TRUE(handle.valid());
  EXPECT_EQ(FileSizeOf(handle), size);
  EXPECT_EQ(SeekFile(handle, 4LL * 1024 * 1024 * 1024 + 1, SeekOrigin::Begin), 4LL * 1024 * 1024 * 1024 + 1);
  EXPECT_EQ(SeekFile(handle, -188, SeekOrigin::End), size - 188);
  CloseFile(handle);
}

std::map<std::string, DirEntry> ByName(const std::vector<DirEntry>& entries) {
  std::map<std::string, DirEntry> named;
  for (const DirEntry& entry : entries) named[entry.name] = entry;
  return named;
}

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& entry : entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

// pattern        | matches
// ZIZ????.tmp*   | ZIZ0001.tmp.bak, ZIZ1A2B.tmp, ZIZ9999.tmp (a folder)
// ?ZIZ*          | XZIZ1234.tmp
// *              | everything, ".", ".." and ".hidden" included
// .*             | ".", "..", ".hidden"
// nothing*       | none
TEST(FindEntries, MatchesWildcardsAndMarksFolders) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  for (const char* name : {"ZIZ1A2B.tmp", "ZIZ0001.tmp.bak", "ZIZ12.tmp", "XZIZ1234.tmp", "ZIZ1234.txt", ".hidden"}) {
    std::ofstream(scratch / name) << name;
  }
  ASSERT_EQ(::mkdir((scratch / "ZIZ9999.tmp").c_str(), 0755), 0);
  struct Case {
    const char* pattern;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"ZIZ????.tmp*", {"ZIZ0001.tmp.bak", "ZIZ1A2B.tmp", "ZIZ9999.tmp"}},
      {"?ZIZ*", {"XZIZ1234.tmp"}},
      {"*",
       {".", "..", ".hidden", "XZIZ1234.tmp", "ZIZ0001.tmp.bak", "ZIZ12.tmp", "ZIZ1234.txt", "ZIZ1A2B.tmp",
        "ZIZ9999.tmp"}},
      {".*", {".", "..", ".hidden"}},
      {"nothing*", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(Names(FindEntries(scratch.path(), c.pattern)), c.names);
  }
  const auto found = ByName(FindEntries(scratch.path(), "ZIZ????.tmp*"));
  EXPECT_TRUE(found.at("ZIZ9999.tmp").isDirectory);
  EXPECT_FALSE(found.at("ZIZ1A2B.tmp").isDirectory);
  EXPECT_EQ(found.at("ZIZ1A2B.tmp").size, std::string("ZIZ1A2B.tmp").size());
  EXPECT_TRUE(FindEntries(scratch / "absent", "*").empty());
  EXPECT_TRUE(FindEntries(scratch.path(), "").empty());
}

TEST(FindEntries, GivesTheLastWriteTimeSince1601) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  const std::string path = scratch / "stamped";
  std::ofstream(path) << "x";
  // 2020-01-01 00:00:00.5 UTC.
  const struct timespec times[2] = {{1577836800, 500000000}, {1577836800, 500000000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  const auto found = FindEntries(scratch.path(), "stamped");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].lastWriteTime, 132223104005000000ULL);
}

}  // namespace
}  // namespace kestrun::platform
