// The program is called by its plain name.
#include "platform/platform.h"
#include "support/catalog.h"

namespace kestrun::platform {

const char* UsageSyntaxFormat() { return text::kUsageSyntaxPlain; }

}  // namespace kestrun::platform
