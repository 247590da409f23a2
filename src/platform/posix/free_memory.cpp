#include <malloc.h>

#include "platform/platform.h"

namespace kestrun::platform {

// The C library keeps freed blocks for reuse, and past a few large blocks
// it stops mapping them on their own: a report written every second would
// leave the memory of its largest moments resident for the rest of the run.
void ReturnFreedMemory() { malloc_trim(0); }

}  // namespace kestrun::platform
