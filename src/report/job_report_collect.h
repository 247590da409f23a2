// Building a job's report from what its worker and analysis left.
#pragma once

#include <cstdint>
#include <string>

#include "report/run_report.h"
#include "worker/stream_worker.h"

namespace kestrun {

// A job whose worker ran (or could not be started): moves the worker's
// outcome and the analysis's event lists out of the record and reads the
// analysis state.
JobReport CollectJobReport(const std::string& source, JobRecord& job, std::int32_t dropTotal);
JobReport RefusedJobReport(const std::string& source, SourceRefusal refusal);
// A running job as it stands: copies what the worker and the analysis have
// found so far. Only while the worker cannot change it (a LiveJob visit).
JobReport RunningJobReport(const std::string& source, const JobRecord& job);

}  // namespace kestrun
