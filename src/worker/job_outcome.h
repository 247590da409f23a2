// What the worker found out about a job besides the analysis state: the
// source, how much was read and how the read ended. Read by the job runner
// after the worker has ended.
#pragma once

#include <array>
#include <cstdint>

#include "tuner/signal_series.h"
#include "worker/source.h"

namespace kestrun {

enum class JobEnd {
  NotStarted,        // the worker did not run (no thread, or no context)
  NotOpened,         // the source could not be classified or opened
  EndOfInput,        // end of file, pipe closed, a failed read
  Window,            // the last duration window ended
  Stop,              // Ctrl+C or the console closed
  ReadBufferFailed,  // the read buffer could not be allocated
};

struct JobOutcome {
  SourceKind kind = SourceKind::Invalid;
  std::int64_t startOffset = 0;    // as written after ';' (files)
  std::int64_t startPosition = 0;  // where reading began (files)
  std::int64_t fileSize = -1;      // files only; -1 otherwise
  // Packets delivered by the reader, by framing: [0] 188 bytes, [1] 192.
  std::array<std::uint64_t, 2> packetsBySize{};
  std::uint64_t bytesRead = 0;
  JobEnd end = JobEnd::NotStarted;
  // When the last drop was counted (seconds since 1970); 0 for none, and
  // kept only for a job that is reported on during the run.
  std::int64_t lastDropTime = 0;
  // Tuner only: bytes the tuner thread discarded, and the signal levels.
  std::uint64_t discardedBytes = 0;
  SignalSeries signal;
};

}  // namespace kestrun
