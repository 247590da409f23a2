// Runs one program and reports its wall time and peak resident memory, so
// the benchmark script needs nothing beyond the shell (no /usr/bin/time).
//
//   bench_runner [--stdout FILE | --terminal] PROGRAM [ARGS...]
//
// The program's standard output goes to FILE (default /dev/null), or with
// --terminal to a pseudo-terminal whose output this runner reads and drops
// (the program then shows what it shows a user on a terminal, progress
// lines included); its standard error is kept. Prints one line:
//   seconds=S user=U sys=Y maxrss_kib=K exit=E
// where maxrss_kib is ru_maxrss of RUSAGE_CHILDREN: the peak resident set
// of the one child this runner waits for. Exit code 0 when the child was
// run (whatever its own exit code), 2 when it could not be.
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

double Seconds(const timespec& t) { return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9; }
double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

int Fail(const char* what) {
  std::fprintf(stderr, "bench_runner: %s: %s\n", what, std::strerror(errno));
  return 2;
}

// Reads what the program writes to the terminal until it has closed it.
void DrainTerminal(int master) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0 || (n < 0 && errno == EINTR)) continue;
    return;  // EIO once the program's side is closed
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* outPath = "/dev/null";
  bool terminal = false;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--stdout") == 0) {
    outPath = argv[2];
    first = 3;
  } else if (argc > 1 && std::strcmp(argv[1], "--terminal") == 0) {
    terminal = true;
    first = 2;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: bench_runner [--stdout FILE | --terminal] PROGRAM [ARGS...]\n");
    return 2;
  }
  int master = -1;
  int out = -1;
  if (terminal) {
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master, &out, nullptr, &raw, nullptr) != 0) return Fail("openpty");
  } else {
    out = ::open(outPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (out < 0) return Fail(outPath);

  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t child = ::fork();
  if (child < 0) return Fail("fork");
  if (child == 0) {
    ::dup2(out, STDOUT_FILENO);
    ::close(out);
    if (master >= 0) ::close(master);
    ::execv(argv[first], argv + first);
    std::fprintf(stderr, "bench_runner: cannot run %s: %s\n", argv[first], std::strerror(errno));
    ::_exit(127);
  }
  ::close(out);
  if (master >= 0) {
    DrainTerminal(master);
    ::close(master);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return Fail("waitpid");
  }
  timespec stop{};
  ::clock_gettime(CLOCK_MONOTONIC, &stop);

  rusage usage{};
  if (::getrusage(RUSAGE_CHILDREN, &usage) != 0) return Fail("getrusage");
  const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("seconds=%.6f user=%.6f sys=%.6f maxrss_kib=%ld exit=%d\n",
              Seconds(stop) - Seconds(start), Seconds(usage.ru_utime), Seconds(usage.ru_stime),
              usage.ru_maxrss, exitCode);
  return 0;
}
