// The key wait of the pause prompt. The key comes from the controlling
// terminal, never from standard input, which may be the stream being checked;
// without a controlling terminal there is no key to wait for. The terminal
// is switched to single keys without echo for the wait only. The wait goes in slices, so a stop (Ctrl+C
// from the same terminal, or the terminal going away) ends it without a key.
#include <cerrno>
#include <fcntl.h>
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
  const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal < 0) return -1;
  int key = -1;
  termios saved{};
  if (::tcgetattr(terminal, &saved) == 0) {
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ECHO | ICANON));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(terminal, TCSANOW, &raw);
    key = ReadOneByte(terminal, stop);
    ::tcsetattr(terminal, TCSANOW, &saved);
  }
  ::close(terminal);
  return key;
}

}  // namespace kestrun::platform
