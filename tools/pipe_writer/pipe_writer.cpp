// pipe_writer: creates the named pipe \\.\pipe\NAME, waits for its reader
// and writes a stream file into it, paced and in bursts, the way a recorder
// would; then reports how long the longest single write was held up.
//
//   pipe_writer NAME FILE [--block BYTES] [--pace-us N] [--burst N]
//               [--delay-ms T] [--stall-after BYTES] [--stall-ms T]
//
//   --block        bytes per WriteFile call (default 48128)
//   --pace-us      pause between writes (default 5000); with --burst N the
//                  pause of N writes comes after every Nth write
//   --delay-ms     wait this long before creating the pipe (a late writer)
//   --stall-after  stop writing after this many bytes for --stall-ms
//                  (default 60000) before going on
//
// Standard output: "connected" once the reader is there, then
// "written=BYTES max_write_us=N slow_writes=N" at the end, the last being the
// writes held up for 50 ms or more. Exit code 0 when every byte was
// written, 1 otherwise.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPipeBufferSize = 64 * 1024;
constexpr std::int64_t kSlowWriteUs = 50000;

struct Options {
  std::string name;
  std::string file;
  std::uint32_t block = 48128;
  std::uint32_t paceUs = 5000;
  std::uint32_t burst = 1;
  std::uint32_t delayMs = 0;
  std::uint64_t stallAfter = 0;
  std::uint32_t stallMs = 60000;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  if (argc < 3) return false;
  options->name = argv[1];
  options->file = argv[2];
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const unsigned long long value = std::strtoull(argv[i + 1], nullptr, 10);
    if (key == "--block") options->block = static_cast<std::uint32_t>(value);
    else if (key == "--pace-us") options->paceUs = static_cast<std::uint32_t>(value);
    else if (key == "--burst") options->burst = static_cast<std::uint32_t>(value);
    else if (key == "--delay-ms") options->delayMs = static_cast<std::uint32_t>(value);
    else if (key == "--stall-after") options->stallAfter = value;
    else if (key == "--stall-ms") options->stallMs = static_cast<std::uint32_t>(value);
    else return false;
  }
  return options->block > 0 && options->burst > 0;
}

std::vector<char> ReadWholeFile(const std::string& path) {
  std::vector<char> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[65536];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  return bytes;
}

// Sleeps a whole number of microseconds as closely as Sleep allows.
void PauseUs(std::uint64_t microseconds) {
  if (microseconds > 0) Sleep(static_cast<DWORD>((microseconds + 999) / 1000));
}

std::int64_t NowUs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart * 1000000 / frequency.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: pipe_writer NAME FILE [--block B] [--pace-us N] [--burst N] "
                         "[--delay-ms T] [--stall-after B] [--stall-ms T]\n");
    return 2;
  }
  const std::vector<char> stream = ReadWholeFile(options.file);
  Sleep(options.delayMs);
  const std::string path = "\\\\.\\pipe\\" + options.name;
  HANDLE pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                 kPipeBufferSize, kPipeBufferSize, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "CreateNamedPipeA failed: %lu\n", GetLastError());
    return 1;
  }
  if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
    std::fprintf(stderr, "ConnectNamedPipe failed: %lu\n", GetLastError());
    CloseHandle(pipe);
    return 1;
  }
  std::printf("connected\n");
  std::fflush(stdout);
  std::uint64_t written = 0;
  std::int64_t longest = 0;
  std::uint64_t slow = 0;
  std::uint64_t writes = 0;
  bool stalled = false;
  while (written < stream.size()) {
    if (options.stallAfter > 0 && !stalled && written >= options.stallAfter) {
      stalled = true;
      Sleep(options.stallMs);
    }
    const DWORD size = static_cast<DWORD>(
        std::min<std::uint64_t>(options.block, stream.size() - written));
    DWORD done = 0;
    const std::int64_t start = NowUs();
    const BOOL ok = WriteFile(pipe, stream.data() + written, size, &done, nullptr);
    const std::int64_t took = NowUs() - start;
    longest = std::max(longest, took);
    if (took >= kSlowWriteUs) ++slow;
    if (!ok) break;
    written += done;
    if (++writes % options.burst == 0) PauseUs(std::uint64_t{options.paceUs} * options.burst);
  }
  FlushFileBuffers(pipe);
  DisconnectNamedPipe(pipe);
  CloseHandle(pipe);
  std::printf("written=%llu max_write_us=%lld slow_writes=%llu\n",
              static_cast<unsigned long long>(written), static_cast<long long>(longest),
              static_cast<unsigned long long>(slow));
  return written == stream.size() ? 0 : 1;
}
