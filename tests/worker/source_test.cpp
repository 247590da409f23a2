#include "worker/source.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace kestrun {
namespace {

using testing::TempDir;

// source text (FILE = an existing file, FIFO = a FIFO) -> kind, offset, text left
//   CON                -> standard input
//   CON;5              -> standard input, the ";5" cut and ignored
//   con                -> not standard input (case matters): missing file
//   CONTENT.ts         -> missing file: invalid
//   FILE;1000 / ;-189  -> file with that start offset
//   FILE; +12x         -> offset 12 (blanks, sign, digits up to junk)
//   FILE;x             -> offset 0
//   \\.\pipe\a;7       -> pipe, no offset
//   \\.\bondriver\...  -> tuner
//   FIFO               -> pipe: never probed or seeked
//   "" and ";5"        -> invalid
TEST(ClassifySource, KindsOffsetsAndTheCutText) {
  TempDir dir;
  const std::string file = dir.Write("a.ts", std::string(188, '\x47'));
  const std::string fifo = dir.File("live");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string text;
    SourceKind kind;
    std::int64_t offset;
    std::string left;
  };
  const Case cases[] = {
      {"CON", SourceKind::StdIn, 0, "CON"},
      {"CON;5", SourceKind::StdIn, 0, "CON"},
      {"con", SourceKind::Invalid, 0, "con"},
      {"CONTENT.ts", SourceKind::Invalid, 0, "CONTENT.ts"},
      {file + ";1000", SourceKind::File, 1000, file},
      {file + ";-189", SourceKind::File, -189, file},
      {file + "; +12x", SourceKind::File, 12, file},
      {file + ";x", SourceKind::File, 0, file},
      {file, SourceKind::File, 0, file},
      {"\\\\.\\pipe\\a;7", SourceKind::Pipe, 0, "\\\\.\\pipe\\a"},
      {"\\\\.\\bondriver\\d.so\\0\\1", SourceKind::Tuner, 0, "\\\\.\\bondriver\\d.so\\0\\1"},
      {fifo, SourceKind::Pipe, 0, fifo},
      {"", SourceKind::Invalid, 0, ""},
      {";5", SourceKind::Invalid, 0, ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    const ClassifiedSource source = ClassifySource(text);
    EXPECT_EQ(source.kind, c.kind) << c.text;
    EXPECT_EQ(source.startOffset, c.offset) << c.text;
    EXPECT_EQ(text, c.left) << c.text;
  }
}

// Only a regular file is scanned in place: a FIFO named as a file and a
// character device are read with plain read calls.
TEST(OpenByteSource, LendsSlicesOfRegularFilesOnly) {
  TempDir dir;
  const std::string file = dir.Write("a.ts", std::string(188, '\x47'));
  const std::string fifo = dir.File("live");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<std::string, bool> cases[] = {{file, true}, {fifo, false}, {"/dev/null", false}};
  for (const auto& [path, lends] : cases) {
    platform::FileHandle handle = platform::OpenFileForRead(path);
    ASSERT_TRUE(handle.valid()) << path;
    EXPECT_EQ(OpenByteSource(SourceKind::File, handle, kMinimumReadBufferSize)->LendsSlices(), lends) << path;
    platform::CloseFile(handle);
  }
}

// bufsize -> capacity: below 256 packets the build's default; otherwise the
// value taken as unsigned (a negative one is a huge request, refused later
// by the allocation, not here).
TEST(ReadBufferCapacity, MinimumAndUnsignedValue) {
  EXPECT_EQ(ReadBufferCapacity(0), kDefaultReadBufferSize);
  EXPECT_EQ(ReadBufferCapacity(48127), kDefaultReadBufferSize);
  EXPECT_EQ(ReadBufferCapacity(48128), 48128u);
  EXPECT_EQ(ReadBufferCapacity(-1), 0xFFFFFFFFu);
  EXPECT_EQ(kDefaultReadBufferSize, sizeof(void*) >= 8 ? 104857600u : 20971520u);
}

// start offset -> where reading starts in a file of 1880 bytes:
//   0 -> 0, 1000 -> 1000, 5000 -> 5000 (past the end: nothing to read),
//   -1 -> 1880 (the end itself), -189 -> 1692 (the last packet),
//   -1881 -> 0 (the start), -5000 -> 0 (before the start: stays put)
TEST(ApplyStartOffset, FromTheStartOrTheEnd) {
  TempDir dir;
  const std::string path = dir.Write("ten.ts", std::string(1880, '\0'));
  const std::pair<std::int64_t, std::int64_t> cases[] = {
      {0, 0}, {1000, 1000}, {5000, 5000}, {-1, 1880}, {-189, 1692}, {-1881, 0}, {-5000, 0}};
  for (const auto& [offset, position] : cases) {
    platform::FileHandle handle = platform::OpenFileForRead(path);
    ASSERT_TRUE(handle.valid());
    EXPECT_EQ(ApplyStartOffset(handle, offset), position) << offset;
    EXPECT_EQ(platform::SeekFile(handle, 0, platform::SeekOrigin::Current), position) << offset;
    platform::CloseFile(handle);
  }
}

}  // namespace
}  // namespace kestrun
