// Where in a stream its damaged and scrambled packets lay, and where its
// broadcast time began, for the pictures drawn of a job. The per-PID counts
// the packet loop keeps are read at the pace of the progress line; what grew
// since the last look is put down as a stretch of the stream (from the last
// look to this one) with the PIDs it hit. Nothing is added to the packet
// path. Pure code, like the TS analysis.
#pragma once

#include <cstdint>
#include <vector>

#include "support/system_time.h"
#include "ts/ts_context.h"

namespace kestrun {

// The most stretches kept: beyond, neighbours are joined in pairs, so the
// counts stay exact while their places grow coarser.
inline constexpr std::size_t kDamageStretchLimit = 4096;

struct PidDamage {
  std::uint16_t pid = 0;
  std::uint64_t transportErrors = 0;
  std::uint64_t scrambled = 0;

  bool operator==(const PidDamage&) const = default;
};

// A stretch of the stream, by position and by play-time ticks, and the
// damaged and scrambled packets of each PID inside it (ascending PID).
struct DamageStretch {
  std::uint64_t firstOffset = 0;
  std::uint64_t lastOffset = 0;
  std::uint64_t firstTicks = 0;
  std::uint64_t lastTicks = 0;
  std::vector<PidDamage> pids;

  bool operator==(const DamageStretch&) const = default;
};

struct StreamSamples {
  std::vector<DamageStretch> damage;  // in stream order
  // The play time at which the first TDT/TOT arrived, and its time: the
  // broadcast time of any other play time is told from it.
  bool hasBroadcastAnchor = false;
  std::uint64_t anchorTicks = 0;
  SystemTime anchorTime;

  bool operator==(const StreamSamples&) const = default;
};

struct StreamSampler {
  StreamSamples samples;
  std::uint64_t lastOffset = 0;  // where the last look was (set to where reading begins)
  std::uint64_t lastTicks = 0;
  // Each PID's counts at the last look, by PID.
  std::vector<PidDamage> seen = std::vector<PidDamage>(kPidCount);
};

// A look at the counts and the play time, with the stream at `offset`.
void SampleStream(StreamSampler& sampler, const TsContext& context, std::uint64_t offset);

// A TDT/TOT was just accepted: the first one anchors the broadcast time to
// the play time.
void NoteBroadcastTime(StreamSampler& sampler, const TsContext& context);

}  // namespace kestrun
