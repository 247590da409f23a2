#include <conio.h>

#include "platform/platform.h"

namespace kestrun::platform {

int ReadKeyNoEcho() { return _getch(); }

}  // namespace kestrun::platform
