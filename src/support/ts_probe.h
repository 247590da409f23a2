// Decides from a file's first bytes whether it holds a transport stream.
#pragma once

#include <cstdint>
#include <string>

namespace kestrun {

// 188 for plain 188-byte packets, 192 for packets behind a 4-byte prefix, and
// 0 for anything else, every failure included. A FIFO is never opened: reading
// from it would take stream bytes away from the job that reads it as a pipe.
std::uint8_t ProbeTsFile(const std::string& path);

}  // namespace kestrun
