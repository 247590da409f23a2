#include "support/program_version.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "0.0.0"
#endif

namespace kestrun {

const char* ProgramVersion() { return KESTRUN_VERSION; }

}  // namespace kestrun
