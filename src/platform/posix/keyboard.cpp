// The key wait of the pause prompt. The terminal is switched to single keys
// without echo for the wait only. The wait goes in slices, so a stop (Ctrl+C
// from the same terminal, or the terminal going away) ends it without a key.
#include <cerrno>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

constexpr int kStopPollMs = 100;

// True once a byte (or the end of the input) is there to be read; false when
// `stop` answered true first.
bool WaitForKey(int fd, bool (*stop)()) {
  for (;;) {
    if (stop != nullptr && stop()) return false;
    pollfd entry{};
    entry.fd = fd;
    entry.events = POLLIN;
    const int ready = ::poll(&entry, 1, stop == nullptr ? -1 : kStopPollMs);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // the read tells what is wrong
  }
}

int ReadOneByte(int fd, bool (*stop)()) {
  unsigned char key = 0;
  for (;;) {
    if (!WaitForKey(fd, stop)) return -1;
    const ssize_t got = ::read(fd, &key, 1);
    if (got == 1) return key;
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return -1;
  }
}

}  // namespace

int ReadKeyNoEcho(bool (*stop)()) {
  termios saved{};
  if (::tcgetattr(STDIN_FILENO, &saved) != 0) return ReadOneByte(STDIN_FILENO, stop);
  termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ECHO | ICANON));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  const int key = ReadOneByte(STDIN_FILENO, stop);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return key;
}

}  // namespace kestrun::platform
