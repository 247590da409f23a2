#include "support/run_flags.h"

namespace kestrun {

std::atomic<std::int32_t> AbortFlag{0};
std::atomic<std::int32_t> ConsoleEventCode{0};
std::atomic<std::uint32_t> ConsoleFlags{0};
std::atomic<bool> LineStartFlag{false};
std::atomic<bool> DropHeaderPending{false};

}  // namespace kestrun
