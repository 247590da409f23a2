// The stream worker: the thread that reads one job's source packet by packet,
// drives the analysis and prints drop, wrap-around and progress lines.
#pragma once

#include <memory>
#include <string>

#include "analysis/job_analysis.h"
#include "platform/platform.h"
#include "support/job_settings.h"
#include "ts/ts_context.h"
#include "tuner/bon_driver_tuner.h"
#include "worker/job_outcome.h"
#include "worker/live_job.h"
#include "worker/stream_samples.h"

namespace kestrun {

// One job's record, built by the job runner and read by it again only after
// the worker has ended.
struct JobRecord {
  std::string sourcePath;  // cut at its first ';' by the worker
  TsContextList contextList;
  TsContext* context = nullptr;
  platform::FileHandle inputHandle;
  // The derived analysis, when something wants it (the report, or the
  // console following the MPEG-2 systems rule); none keeps the packet loop
  // as lean as it can be.
  std::unique_ptr<JobAnalysis> analysis;
  // Where the damaged and scrambled packets lay, when a picture of the job
  // is drawn.
  std::unique_ptr<StreamSampler> sampler;
  JobOutcome outcome;
  // Set by the job runner when the job is reported on while it runs; the
  // worker then shares its state through it (see LiveJob).
  LiveJob* live = nullptr;
  // The tuner of a running tuner job, for its signal levels and discarded
  // bytes while it runs; they go to `outcome` when it ends.
  CBonDriverTuner* tuner = nullptr;
};

struct WorkerArgs {
  JobRecord* jobs = nullptr;  // the worker processes the first record only
  int count = 0;
  const JobSettings* settings = nullptr;
};

// Thread routine. Returns 1 when the job record was processed, 0 when the
// argument or the record is missing or no analysis context could be made.
int StreamWorkerMain(WorkerArgs* args);

}  // namespace kestrun
