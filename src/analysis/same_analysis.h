// Whether two job analyses hold the same state, every member compared. The
// packet loop's watched lane (AnalysePlainPacket<true>) stands in for the
// analysis's full steps, and the tests and the fuzzer hold it to this
// beside SameAnalysisState: after any run of packets, an analysis fed the
// lane's way must equal one fed the full steps, whatever the stream.
#pragma once

#include "analysis/job_analysis.h"

namespace kestrun {

bool SameJobAnalysis(const JobAnalysis& a, const JobAnalysis& b);

}  // namespace kestrun
