// The program file is called with its .exe.
#include "platform/platform.h"
#include "support/catalog.h"

namespace kestrun::platform {

const char* UsageSyntaxFormat() { return text::kUsageSyntax; }

}  // namespace kestrun::platform
