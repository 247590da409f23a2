// The per-job summary block printed after the worker has ended.
#pragma once

#include <cstdint>

#include "worker/stream_worker.h"

namespace kestrun {

// Prints the summary of every job record and returns the job's drop total:
// by the default rule the drops of all PIDs that are not PCR PIDs, by the
// MPEG-2 systems rule (from the job's analysis) its continuity errors.
std::int32_t PrintSummary(const JobRecord* jobs, int count, bool reportWrapAround, CountingRule rule);

}  // namespace kestrun
