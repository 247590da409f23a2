#include "support/ts_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace kestrun {
namespace {

namespace fs = std::filesystem;

class TsProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("kestrun_probe_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Write(const std::string& name, const std::vector<char>& bytes) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

 private:
  fs::path folder_;
};

// Zero bytes with sync bytes at the given offsets.
std::vector<char> Stream(std::size_t size, std::initializer_list<std::size_t> syncOffsets) {
  std::vector<char> bytes(size, 0);
  for (std::size_t offset : syncOffsets) bytes[offset] = 0x47;
  return bytes;
}

struct ProbeCase {
  const char* what;
  std::size_t size;
  std::initializer_list<std::size_t> syncs;
  unsigned answer;
};

// Only the first 384 bytes are looked at, and only files longer than that.
const ProbeCase kProbeCases[] = {
    {"384 bytes of packets are too short", 384, {0, 188, 376}, 0},
    {"385 bytes are enough", 385, {0, 188, 376}, 188},
    {"188 is tried before 192", 400, {0, 188, 192}, 188},
    {"stray bytes before the first packet", 400, {5, 193}, 188},
    {"prefixed packets", 400, {4, 196}, 192},
    {"lone sync byte", 400, {0}, 0},
    {"confirmation at 383 is inside", 400, {195, 383}, 188},
    {"confirmation at 384 is outside", 400, {196, 384}, 0},
    {"192 confirmation at 383", 400, {191, 383}, 192},
    {"first deciding position wins", 1000, {10, 202, 300, 488}, 192},
    {"no sync byte at all", 1000, {}, 0},
};

TEST_F(TsProbeTest, AnswersFromTheFirst384Bytes) {
  int index = 0;
  for (const ProbeCase& c : kProbeCases) {
    SCOPED_TRACE(c.what);
    const std::string path = Write("case" + std::to_string(index++) + ".ts", Stream(c.size, c.syncs));
    EXPECT_EQ(ProbeTsFile(path), c.answer);
  }
}

TEST_F(TsProbeTest, AnswersZeroForWhatIsNoReadableFile) {
  const std::string folder = PathOf("folder.ts");
  fs::create_directory(folder);
  EXPECT_EQ(ProbeTsFile(Write("empty.ts", {})), 0);
  EXPECT_EQ(ProbeTsFile(folder), 0);
  EXPECT_EQ(ProbeTsFile(PathOf("missing.ts")), 0);
  EXPECT_EQ(ProbeTsFile(""), 0);
}

TEST_F(TsProbeTest, UnreadableFileAnswersZero) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: permission bits do not stop reading";
  const std::string path = Write("locked.ts", Stream(400, {0, 188}));
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  EXPECT_EQ(ProbeTsFile(path), 0);
}

// The FIFO has a writer (our read-write descriptor), so even an open by the
// probe could not block; what matters is that none of its bytes are taken.
TEST_F(TsProbeTest, FifoIsNeverReadFrom) {
  const std::string path = PathOf("live.ts");
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  const int fifo = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fifo, 0);
  const std::vector<char> packets = Stream(400, {0, 188, 376});
  ASSERT_EQ(::write(fifo, packets.data(), packets.size()), static_cast<ssize_t>(packets.size()));

  EXPECT_EQ(ProbeTsFile(path), 0);

  std::vector<char> back(packets.size() + 1);
  EXPECT_EQ(::read(fifo, back.data(), back.size()), static_cast<ssize_t>(packets.size()));
  ::close(fifo);
}

TEST(TsProbeSamples, RealStreams) {
  const fs::path samples = KESTRUN_SAMPLES_DIR;
  if (!fs::exists(samples / "tsduck-test")) GTEST_SKIP() << "sample streams not present: " << samples;
  EXPECT_EQ(ProbeTsFile((samples / "exiftool/t/images/M2TS.mts").string()), 192);
  EXPECT_EQ(ProbeTsFile((samples / "tsduck-test/input/test-024.ts").string()), 188);
  EXPECT_EQ(ProbeTsFile((samples / "tsduck-test/input/test-108.ts").string()), 188);
  // Two packets (376 bytes) are too short to be judged.
  EXPECT_EQ(ProbeTsFile((samples / "tsduck-test/input/test-050.eas1.ts").string()), 0);
}

}  // namespace
}  // namespace kestrun
