#include "worker/stream_samples.h"

#include <algorithm>
#include <new>

#include "ts/clock.h"

namespace kestrun {
namespace {

// What a PID's counts grew by since the last look; the counts are updated.
PidDamage Growth(PidDamage& seen, std::uint16_t pid, std::uint64_t transportErrors, std::uint64_t scrambled) {
  const PidDamage grown{pid, transportErrors - seen.transportErrors, scrambled - seen.scrambled};
  seen.transportErrors = transportErrors;
  seen.scrambled = scrambled;
  return grown;
}

void Note(std::vector<PidDamage>& hit, const PidDamage& grown) {
  if (grown.transportErrors != 0 || grown.scrambled != 0) hit.push_back(grown);
}

// Both lists ascend by PID; so does the result.
std::vector<PidDamage> JoinPids(const std::vector<PidDamage>& a, const std::vector<PidDamage>& b) {
  std::vector<PidDamage> joined;
  joined.reserve(a.size() + b.size());
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() || j < b.size()) {
    if (j == b.size() || (i < a.size() && a[i].pid < b[j].pid)) {
      joined.push_back(a[i++]);
    } else if (i == a.size() || b[j].pid < a[i].pid) {
      joined.push_back(b[j++]);
    } else {
      joined.push_back({a[i].pid, a[i].transportErrors + b[j].transportErrors, a[i].scrambled + b[j].scrambled});
      ++i;
      ++j;
    }
  }
  return joined;
}

DamageStretch JoinStretches(const DamageStretch& a, const DamageStretch& b) {
  DamageStretch joined;
  joined.firstOffset = a.firstOffset;
  joined.lastOffset = b.lastOffset;
  joined.firstTicks = std::min(a.firstTicks, b.firstTicks);
  joined.lastTicks = std::max(a.lastTicks, b.lastTicks);
  joined.pids = JoinPids(a.pids, b.pids);
  return joined;
}

void HalveStretches(std::vector<DamageStretch>& stretches) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < stretches.size(); i += 2) {
    stretches[kept++] =
        i + 1 < stretches.size() ? JoinStretches(stretches[i], stretches[i + 1]) : std::move(stretches[i]);
  }
  stretches.resize(kept);
}

void AddStretch(StreamSampler& sampler, DamageStretch stretch) {
  std::vector<DamageStretch>& stretches = sampler.samples.damage;
  if (stretches.size() >= kDamageStretchLimit) HalveStretches(stretches);
  stretches.push_back(std::move(stretch));
}

void NoteDamage(StreamSampler& sampler, const TsContext& context, std::uint64_t offset, std::uint64_t ticks) {
  std::vector<PidDamage> hit;
  for (const auto& state : context.pidList) {
    Note(hit, Growth(sampler.seen[state->pid], state->pid, state->teiCount, state->scrambledCount));
  }
  for (const DamagedPid& damaged : context.damagedOnly) {
    PidDamage& seen = sampler.seen[damaged.pid & 0x1FFF];
    Note(hit, Growth(seen, damaged.pid, damaged.teiCount, seen.scrambled));
  }
  if (hit.empty()) return;
  std::sort(hit.begin(), hit.end(), [](const PidDamage& a, const PidDamage& b) { return a.pid < b.pid; });
  AddStretch(sampler, {sampler.lastOffset, offset, std::min(sampler.lastTicks, ticks), ticks, std::move(hit)});
}

}  // namespace

void SampleStream(StreamSampler& sampler, const TsContext& context, std::uint64_t offset) {
  if (sampler.seen.size() != kPidCount) return;
  const std::uint64_t ticks = SelectClock(context).elapsed;
  try {
    NoteDamage(sampler, context, offset, ticks);
  } catch (const std::bad_alloc&) {
    // The counts stay exact in each PID's totals; only these places are lost.
  }
  sampler.lastOffset = offset;
  sampler.lastTicks = ticks;
}

void NoteBroadcastTime(StreamSampler& sampler, const TsContext& context) {
  StreamSamples& samples = sampler.samples;
  if (samples.hasBroadcastAnchor || context.totSeconds <= 0) return;
  samples.hasBroadcastAnchor = true;
  samples.anchorTicks = SelectClock(context).elapsed;
  samples.anchorTime = context.totLocalTime;
}

}  // namespace kestrun
