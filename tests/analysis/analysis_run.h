// Runs the stream worker in this process over a stream written to a file,
// as a job with its analysis on, and gives back the job's report: the real
// packet loop (plain-packet lane, read buffer, full steps) without a child
// process. The console is off in the test process, so nothing is printed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "report/run_report.h"
#include "worker/stream_worker.h"
#include "ts/ts_test_packets.h"

namespace kestrun::analysis_test {

using ts_test::Packet;

struct AnalysedJob {
  JobReport report;
  std::int32_t summaryTotal = 0;  // the job's share of the exit code under the rule
  // The record as the worker left it (its event lists moved to the report).
  std::shared_ptr<JobRecord> record;
};

AnalysedJob AnalyseStream(const std::string& bytes, CountingRule rule = CountingRule::Default);

std::string Join(const std::vector<Packet>& packets);

// The counts of one kind of event, for compact expectations.
std::vector<std::pair<DropKind, int>> KindsAndLosses(const std::vector<DropEvent>& events);

}  // namespace kestrun::analysis_test
