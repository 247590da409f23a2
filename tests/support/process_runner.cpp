#include "support/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kestrun::testing {
namespace {

using Clock = std::chrono::steady_clock;

void ChildExec(const std::vector<std::string>& argv, const ProcessOptions& options, int in,
               int out, int err) {
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  if (options.newSession) setsid();
  for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
  for (const auto& name : options.unsetEnv) unsetenv(name.c_str());
  if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
  // Start the child with default signal handling and an empty mask.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  // Children ended by a signal on purpose leave no core files behind.
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

void Drain(int& fd, std::string& into) {
  char buffer[65536];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    into.append(buffer, static_cast<std::size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    close(fd);
    fd = -1;
  }
}

// Writes all of `data`, unless the child has taken nothing for `limit` (a
// reader end kept open here would otherwise let the write block for ever).
void WriteInput(int fd, const std::string& data, std::chrono::milliseconds limit) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  auto deadline = Clock::now() + limit;
  std::size_t written = 0;
  while (written < data.size() && Clock::now() < deadline) {
    pollfd entry{fd, POLLOUT, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    const ssize_t n = write(fd, data.data() + written, data.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      deadline = Clock::now() + limit;
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    }
  }
}

// Bytes written to a pipe that its reader has not taken yet.
int Unread(int fd) {
  int count = 0;
  return ioctl(fd, FIONREAD, &count) == 0 ? count : 0;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  ProcessResult result;
  int inPipe[2] = {-1, -1}, outPipe[2], errPipe[2];
  // Close-on-exec, so that a child started by another thread at the same
  // time holds none of this child's pipe ends (its dup2 copies stay open).
  if (options.stdinData && pipe2(inPipe, O_CLOEXEC) != 0) return result;
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return result;
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t child = fork();
  if (child == 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    if (options.stdinData) close(inPipe[1]);
    ChildExec(argv, options, options.stdinData ? inPipe[0] : devNull, outPipe[1], errPipe[1]);
  }
  close(devNull);
  close(outPipe[1]);
  close(errPipe[1]);
  int stdinFd = -1;
  // The read end stays open here when it is watched for the child's reads;
  // the child still sees the end of its input once the write end is closed.
  int unreadProbe = -1;
  if (options.stdinData) {
    if (options.signalAfterStdinRead) {
      unreadProbe = inPipe[0];
    } else {
      close(inPipe[0]);
    }
    stdinFd = inPipe[1];
    WriteInput(stdinFd, *options.stdinData, options.timeout);
    if (!options.keepStdinOpen) {
      close(stdinFd);
      stdinFd = -1;
    }
  }

  const auto start = Clock::now();
  auto signalFrom = start;
  bool stdinRead = unreadProbe < 0;
  bool signalled = options.signal == 0;
  int outFd = outPipe[0], errFd = errPipe[0];
  while (outFd >= 0 || errFd >= 0) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    poll(fds, 2, 20);
    if (outFd >= 0 && (fds[0].revents & (POLLIN | POLLHUP))) Drain(outFd, result.out);
    if (errFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP))) Drain(errFd, result.err);
    const auto now = Clock::now();
    const auto elapsed = now - start;
    if (!stdinRead && Unread(unreadProbe) == 0) {
      stdinRead = true;
      signalFrom = now;
    }
    if (!signalled && stdinRead) {
      const bool due = options.signalWhen.empty()
                           ? now - signalFrom >= options.signalAfter
                           : result.out.find(options.signalWhen) != std::string::npos;
      if (due) {
        kill(child, options.signal);
        signalled = true;
      }
    }
    if (elapsed > options.timeout) {
      result.timedOut = true;
      kill(child, SIGKILL);
      break;
    }
  }
  if (outFd >= 0) close(outFd);
  if (errFd >= 0) close(errFd);
  if (stdinFd >= 0) close(stdinFd);
  if (unreadProbe >= 0) close(unreadProbe);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  result.maxRssKib = usage.ru_maxrss;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.termSignal = WTERMSIG(status);
  return result;
}

}  // namespace kestrun::testing
