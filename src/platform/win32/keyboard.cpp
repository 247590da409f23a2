#include <conio.h>

#include "platform/platform.h"

namespace kestrun::platform {

// _getch reads the console with its control processing off, so Ctrl+C comes
// as a key and ends the wait like any other; closing the console ends the
// process. Nothing else can interrupt the wait, so it needs no slices.
int ReadKeyNoEcho(bool (* /*stop*/)()) { return _getch(); }

}  // namespace kestrun::platform
