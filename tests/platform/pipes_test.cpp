#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform_fixtures.h"

namespace kestrun::platform {
namespace {

using testing::ScopedEnv;
using testing::ScratchFolder;
using Clock = std::chrono::steady_clock;

// The reader's side of a pipe source: the retry schedule of the worker
// (333 ms steps, about 5 s in all).
FileHandle ConnectLikeTheWorker(const std::string& source) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  for (;;) {
    FileHandle handle = OpenPipeOnce(source);
    if (handle.valid() || Clock::now() >= deadline) return handle;
    SleepMs(333);
  }
}

std::string ReadToEnd(FileHandle handle) {
  std::string all;
  std::string buffer(4096, '\0');
  for (;;) {
    const ReadResult result = ReadFile(handle, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    if (!result.ok || result.count == 0) return all;
    all.append(buffer, 0, result.count);
  }
}

// When the program did not connect, a writer still blocked in its open is
// let go, so that the test fails instead of hanging.
void ReleaseWriter(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
}

// A writer gone away must show as a failed write here, not end the tests.
class PipeTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = std::signal(SIGPIPE, SIG_IGN); }
  void TearDown() override { std::signal(SIGPIPE, previous_); }

 private:
  void (*previous_)(int) = SIG_DFL;
};

struct FifoWriter {
  std::chrono::milliseconds delay;  // after the open, before the first write
  std::vector<std::string> chunks;
};

// Opens the FIFO as a writer (blocking until a reader is there), waits, then
// writes its chunks and closes. Reports whether every write succeeded.
void RunWriter(const std::string& path, const FifoWriter& plan, std::atomic<bool>* allWritten) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  bool ok = fd >= 0;
  std::this_thread::sleep_for(plan.delay);
  for (const std::string& chunk : plan.chunks) {
    ok = ok && ::write(fd, chunk.data(), chunk.size()) == static_cast<ssize_t>(chunk.size());
  }
  if (fd >= 0) ::close(fd);
  allWritten->store(ok);
}

// writer                           | read by the program
// writes two chunks at once        | both, then end of input
// writes only 400 ms after opening | the chunk (the writer sees no broken pipe)
// opens and closes without writing | end of input at once
TEST_F(PipeTest, FifoDeliversTheWritersBytesThenEnds) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  struct Case {
    const char* label;
    FifoWriter writer;
    std::string expected;
  };
  const Case cases[] = {
      {"at once", {std::chrono::milliseconds(0), {"abc", "def"}}, "abcdef"},
      {"slow first write", {std::chrono::milliseconds(400), {"xyz"}}, "xyz"},
      {"no bytes", {std::chrono::milliseconds(0), {}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = scratch / "fifo";
    ::unlink(path.c_str());
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::atomic<bool> allWritten{false};
    std::thread writer(RunWriter, path, c.writer, &allWritten);
    FileHandle handle = ConnectLikeTheWorker(path);
    EXPECT_TRUE(handle.valid());
    if (!handle.valid()) ReleaseWriter(path);
    EXPECT_EQ(ReadToEnd(handle), c.expected);
    CloseFile(handle);
    writer.join();
    EXPECT_TRUE(allWritten.load());
  }
}

TEST_F(PipeTest, PipeNameReachesAFifoInTheTemporaryFolder) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  ScopedEnv tmpdir("TMPDIR", scratch.path().c_str());
  ASSERT_EQ(::mkfifo((scratch / "kestrun-in").c_str(), 0600), 0);
  std::atomic<bool> allWritten{false};
  std::thread writer(RunWriter, scratch / "kestrun-in", FifoWriter{std::chrono::milliseconds(0), {"stream"}},
                     &allWritten);
  FileHandle handle = ConnectLikeTheWorker("\\\\.\\pipe\\kestrun-in");
  EXPECT_TRUE(handle.valid());
  if (!handle.valid()) ReleaseWriter(scratch / "kestrun-in");
  EXPECT_EQ(ReadToEnd(handle), "stream");
  CloseFile(handle);
  writer.join();
}

TEST_F(PipeTest, FifoWithoutWriterIsNotConnectedAndDoesNotHang) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  const std::string path = scratch / "lonely";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto start = Clock::now();
    FileHandle handle = OpenPipeOnce(path);
    EXPECT_FALSE(handle.valid());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  }
}

// endpoint                          | result
// nothing of that name              | none
// a regular file                    | none
// "\\.\pipe\" without a name        | none
TEST_F(PipeTest, OtherEndpointsAreNotPipes) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  ScopedEnv tmpdir("TMPDIR", scratch.path().c_str());
  std::ofstream(scratch / "plain") << "x";
  for (const char* source : {"\\\\.\\pipe\\absent", "\\\\.\\pipe\\plain", "\\\\.\\pipe\\"}) {
    SCOPED_TRACE(source);
    EXPECT_FALSE(OpenPipeOnce(source).valid());
  }
  EXPECT_FALSE(OpenPipeOnce(scratch / "plain").valid());
}

int ListenAt(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 1) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TEST_F(PipeTest, PipeNameReachesAListeningSocket) {
  ScratchFolder scratch;
  ASSERT_TRUE(scratch.ready());
  ScopedEnv tmpdir("TMPDIR", scratch.path().c_str());
  const int listener = ListenAt(scratch / "kestrun-sock");
  if (listener < 0) GTEST_SKIP() << "cannot listen on a Unix socket under " << scratch.path();
  std::thread writer([listener] {
    const int peer = ::accept(listener, nullptr, nullptr);
    if (peer < 0) return;
    const std::string data(10000, 'G');
    ssize_t ignored = ::write(peer, data.data(), data.size());
    (void)ignored;
    ::close(peer);
  });
  FileHandle handle = ConnectLikeTheWorker("\\\\.\\PIPE\\kestrun-sock");
  EXPECT_TRUE(handle.valid());
  if (!handle.valid()) ::shutdown(listener, SHUT_RDWR);  // wakes the accept
  EXPECT_EQ(ReadToEnd(handle), std::string(10000, 'G'));
  CloseFile(handle);
  writer.join();
  ::close(listener);
}

}  // namespace
}  // namespace kestrun::platform
