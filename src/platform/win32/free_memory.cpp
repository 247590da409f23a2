#include <windows.h>

#include "platform/platform.h"

namespace kestrun::platform {

// Large blocks of the process heap go back to the system when they are
// freed; this gives back the free pages of the small ones too.
void ReturnFreedMemory() { HeapCompact(GetProcessHeap(), 0); }

}  // namespace kestrun::platform
