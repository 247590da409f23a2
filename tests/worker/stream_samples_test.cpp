// The samples of damaged and scrambled packets over a long stream: more
// looks than stretches are kept, yet every packet is in exactly one
// stretch, the stretches follow each other in stream order, and a PID that
// first arrived only damaged keeps its count when it turns good.
#include <gtest/gtest.h>

#include "worker/stream_samples.h"

namespace kestrun {
namespace {

TEST(StreamSamples, LongStreamKeepsEveryCountInFewerStretches) {
  TsContext context;
  context.pidList.push_back(std::make_unique<PidState>());
  PidState& video = *context.pidList.back();
  video.pid = 0x0111;
  context.damagedOnly.push_back({0x0500, 0});
  StreamSampler sampler;
  sampler.lastOffset = 1000;

  const int looks = 3 * static_cast<int>(kDamageStretchLimit);
  std::uint64_t offset = 1000;
  for (int look = 1; look <= looks; ++look) {
    offset += 188000;
    video.teiCount += look % 3 == 0 ? 1 : 0;
    video.scrambledCount += 2;
    if (look < looks / 2) ++context.damagedOnly[0].teiCount;
    if (look == looks / 2) {  // 0x0500 arrives undamaged: its record takes over the count
      context.pidList.push_back(std::make_unique<PidState>());
      context.pidList.back()->pid = 0x0500;
      context.pidList.back()->teiCount = context.damagedOnly[0].teiCount + 1;
      context.damagedOnly.clear();
    }
    SampleStream(sampler, context, offset);
  }

  const std::vector<DamageStretch>& stretches = sampler.samples.damage;
  EXPECT_LE(stretches.size(), kDamageStretchLimit);
  std::uint64_t tei = 0;
  std::uint64_t scrambled = 0;
  std::uint64_t end = 1000;
  for (const DamageStretch& stretch : stretches) {
    EXPECT_EQ(stretch.firstOffset, end);  // every look hit something, so no gaps
    end = stretch.lastOffset;
    for (std::size_t i = 0; i < stretch.pids.size(); ++i) {
      if (i > 0) {
        EXPECT_LT(stretch.pids[i - 1].pid, stretch.pids[i].pid);
      }
      tei += stretch.pids[i].transportErrors;
      scrambled += stretch.pids[i].scrambled;
    }
  }
  EXPECT_EQ(end, offset);
  EXPECT_EQ(tei, video.teiCount + context.pidList.back()->teiCount);
  EXPECT_EQ(scrambled, video.scrambledCount);
}

}  // namespace
}  // namespace kestrun
