// The program's version, as the build names it.
#pragma once

namespace kestrun {

// "1.0.0": the project version the program was built from.
const char* ProgramVersion();

}  // namespace kestrun
