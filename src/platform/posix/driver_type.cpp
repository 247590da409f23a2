#include "platform/driver_type.h"

namespace kestrun::platform {

// Shared objects built by g++ or clang share the C++ runtime's type
// information, whose comparison goes by type name, so the cast also finds
// the interface in a library built with hidden visibility.
IBonDriver2* ExtendedInterfaceOf(IBonDriver* driver) { return dynamic_cast<IBonDriver2*>(driver); }

}  // namespace kestrun::platform
