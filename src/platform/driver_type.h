// The run-time type check that finds a tuner driver object's extended
// interface. Driver objects come from libraries built by other compilers,
// whose type information the program cannot always read with its own
// dynamic_cast; each platform knows which kinds it may meet.
#pragma once

#include "tuner/bon_driver.h"

namespace kestrun::platform {

// The object seen through IBonDriver2, or null when it does not implement
// it or when its type information cannot be recognised safely (it is then
// used through IBonDriver alone).
IBonDriver2* ExtendedInterfaceOf(IBonDriver* driver);

}  // namespace kestrun::platform
