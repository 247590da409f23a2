#include <cerrno>
#include <termios.h>
#include <unistd.h>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

int ReadOneByte(int fd) {
  unsigned char key = 0;
  for (;;) {
    const ssize_t got = ::read(fd, &key, 1);
    if (got == 1) return key;
    if (got < 0 && errno == EINTR) continue;
    return -1;
  }
}

}  // namespace

int ReadKeyNoEcho() {
  termios saved{};
  if (::tcgetattr(STDIN_FILENO, &saved) != 0) return ReadOneByte(STDIN_FILENO);
  termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ECHO | ICANON));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  const int key = ReadOneByte(STDIN_FILENO);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return key;
}

}  // namespace kestrun::platform
