// The yardstick of the throughput benchmark: reads a file to its end with
// one read call per fill of a block as large as the checker's read buffer,
// and does nothing else with the bytes. The checker cannot be faster than
// this on the same machine.
//
//   bench_read [-bufsize N] [--touch] FILE
//   bench_read --map FILE
//   bench_read --cached FILE
//   bench_read --buffer-size
//
// N as for the checker's -bufsize option (the checker's default below 256
// packets). Prints the number of bytes read. --touch also looks at one
// byte of every 188 after each read, as the least any checker of every
// packet must do: the gap between the two shows what reading the block
// back from memory costs on this machine (it prints their sum as well).
// --map looks at the same bytes through views of the file mapped as the
// checker maps them, a window at a time, with no read call: set beside
// --touch, it shows which way of reading a cached file costs this machine
// less. With --cached nothing is read:
// it prints the percentage of the file's pages held in the page cache.
// --buffer-size prints the checker's default read buffer size.
// Exit code 0, or 2 on a fault.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/file_view.h"
#include "worker/file_views.h"
#include "worker/source.h"

namespace {

int Fail(const char* what, const char* detail) {
  std::fprintf(stderr, "bench_read: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
  return 2;
}

// Asks the kernel which pages of the file are cached, without touching them.
int PrintCachedPercent(const char* path) {
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) return Fail("cannot open", path);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_size <= 0) {
    ::close(fd);
    return Fail("cannot size", path);
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return Fail("cannot map", path);
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> pages((size + page - 1) / page);
  const int result = ::mincore(map, size, pages.data());
  ::munmap(map, size);
  if (result != 0) return Fail("mincore failed", std::strerror(errno));
  std::size_t cached = 0;
  for (const unsigned char flags : pages) cached += flags & 1u;
  std::printf("%.1f\n", 100.0 * static_cast<double>(cached) / static_cast<double>(pages.size()));
  return 0;
}

// One byte per 188, fetched a page ahead like the checker's reader does.
unsigned long long TouchPackets(const std::uint8_t* data, std::size_t count) {
  constexpr std::size_t kStep = 188;
  constexpr std::size_t kAhead = 4096;
  unsigned long long sum = 0;
  for (std::size_t at = 0; at < count; at += kStep) {
    if (count - at > kAhead) __builtin_prefetch(data + at + kAhead);
    sum += data[at];
  }
  return sum;
}

int MapAndTouch(const char* path) {
  kestrun::platform::FileHandle handle = kestrun::platform::OpenFileForRead(path);
  if (!handle.valid()) return Fail("cannot open", path);
  const auto size = static_cast<std::uint64_t>(kestrun::platform::FileSizeOf(handle));
  unsigned long long touched = 0;
  for (std::uint64_t offset = 0; offset < size; offset += kestrun::kViewWindowSize) {
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kestrun::kViewWindowSize, size - offset));
    kestrun::platform::FileView view = kestrun::platform::MapFileView(handle, offset, length);
    if (view.data == nullptr) return Fail("cannot map", path);
    touched += TouchPackets(view.data, view.size);
    kestrun::platform::UnmapFileView(view);
  }
  kestrun::platform::CloseFile(handle);
  std::printf("%llu %llu\n", static_cast<unsigned long long>(size), touched);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::int32_t bufsize = 0;
  bool touch = false;
  const char* path = nullptr;
  if (argc == 3 && std::strcmp(argv[1], "--cached") == 0) return PrintCachedPercent(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--map") == 0) return MapAndTouch(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "--buffer-size") == 0) {
    std::printf("%lu\n", static_cast<unsigned long>(kestrun::ReadBufferCapacity(0)));
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-bufsize") == 0 && i + 1 < argc) {
      bufsize = static_cast<std::int32_t>(std::strtol(argv[++i], nullptr, 10));
    } else if (std::strcmp(argv[i], "--touch") == 0) {
      touch = true;
    } else {
      path = argv[i];
    }
  }
  if (path == nullptr) return Fail("usage: bench_read [-bufsize N] [--touch] FILE", nullptr);

  const std::uint32_t capacity = kestrun::ReadBufferCapacity(bufsize);
  // Allocated like the checker's block: not cleared, so only the pages a
  // read writes become resident.
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[capacity]);
  if (!block) return Fail("cannot allocate the block", nullptr);

  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) return Fail("cannot open", path);
  unsigned long long total = 0;
  unsigned long long touched = 0;
  for (;;) {
    const ssize_t got = ::read(fd, block.get(), capacity);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return Fail("read failed", std::strerror(errno));
    }
    if (got == 0) break;
    total += static_cast<unsigned long long>(got);
    if (touch) touched += TouchPackets(block.get(), static_cast<std::size_t>(got));
  }
  ::close(fd);
  // The byte sum is printed so that the look at the bytes cannot be left out.
  if (touch) {
    std::printf("%llu %llu\n", total, touched);
  } else {
    std::printf("%llu\n", total);
  }
  return 0;
}
