// Each stream-error indicator on a broadcast-shaped stream with one fault,
// and loss incidents, against counts worked out by hand.
#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "analysis/analysis_run.h"
#include "analysis/broadcast_stream.h"

namespace kestrun::analysis_test {
namespace {

constexpr int kMoments = 400;  // 8 s

// Counts in StreamErrorKind order: syncLoss, patError, pmtError, crcError,
// pcrRepetition, pcrDiscontinuity, ptsRepetition, pidError.
using Counts = std::array<std::uint64_t, kStreamErrorKindCount>;

struct FaultCase {
  const char* name;
  AlterPacket alter;
  Counts counts;
  AfterMoment after = {};
};

bool Between(int moment, int from, int to) { return moment >= from && moment < to; }

// Flips a bit of the last CRC_32 byte of the section starting the packet.
void BreakCrc(ts_test::Packet& packet) {
  const int sectionLength = (packet[6] & 0x0F) << 8 | packet[7];
  packet[5 + 3 + sectionLength - 1] ^= 0x01;
}

TEST(StreamErrors, EachIndicatorOnOneFault) {
  const FaultCase cases[] = {
      {"a clean stream", {}, {}},
      {"five bytes of garbage after a video packet",
       {},
       {1, 0, 0, 0, 0, 0, 0, 0},
       [](int moment) { return moment == 100 ? std::string(5, '\x00') : std::string(); }},
      {"no PAT for 0.8 s",
       [](Piece piece, int m, ts_test::Packet&) { return !(piece == Piece::Pat && Between(m, 55, 95)); },
       {0, 1, 0, 0, 0, 0, 0, 0}},
      {"a section of another table on PID 0",
       [](Piece piece, int m, ts_test::Packet& p) {
         if (piece == Piece::Pat && m == 100) p[5] = 0x02;
         return true;
       },
       {0, 1, 0, 0, 0, 0, 0, 0}},
      {"a scrambled PAT and a scrambled PMT",
       [](Piece piece, int m, ts_test::Packet& p) {
         if ((piece == Piece::Pat || piece == Piece::Pmt) && m == 100) p[3] |= 0x80;
         return true;
       },
       {0, 1, 1, 0, 0, 0, 0, 0}},
      {"no PMT for 0.8 s",
       [](Piece piece, int m, ts_test::Packet&) { return !(piece == Piece::Pmt && Between(m, 55, 95)); },
       {0, 0, 1, 0, 0, 0, 0, 0}},
      {"a wrong CRC_32 in a PAT, a PMT, a CAT and a TOT",
       [](Piece piece, int m, ts_test::Packet& p) {
         const bool table = piece == Piece::Pat || piece == Piece::Pmt || piece == Piece::Cat || piece == Piece::Tot;
         if (m == 100 && table) BreakCrc(p);
         return true;
       },
       {0, 0, 0, 4, 0, 0, 0, 0}},
      {"no PCR for 120 ms",
       [](Piece piece, int m, ts_test::Packet&) { return !(piece == Piece::Pcr && Between(m, 100, 105)); },
       {0, 0, 0, 0, 1, 0, 0, 0}},
      {"the PCR steps back 2 s",
       [](Piece piece, int m, ts_test::Packet& p) {
         if (piece == Piece::Pcr && m >= 200) SetPcr(p, BroadcastPcr(m) - 180000);
         return true;
       },
       {0, 0, 0, 0, 0, 1, 0, 0}},
      {"the PCR steps back 2 s with the discontinuity_indicator",
       [](Piece piece, int m, ts_test::Packet& p) {
         if (piece == Piece::Pcr && m >= 200) SetPcr(p, BroadcastPcr(m) - 180000);
         if (piece == Piece::Pcr && m == 200) p[5] |= 0x80;
         return true;
       },
       {}},
      {"no video PES header for 0.8 s",
       [](Piece piece, int m, ts_test::Packet&) { return !(piece == Piece::VideoStart && Between(m, 100, 140)); },
       {0, 0, 0, 0, 0, 0, 1, 0}},
      {"no audio for 6.8 s (late PTS when it returns)",
       [](Piece piece, int m, ts_test::Packet&) { return !(piece == Piece::AudioStart && Between(m, 50, 390)); },
       {0, 0, 0, 0, 0, 0, 1, 1}},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    const JobReport r = AnalyseStream(BuildBroadcast(kMoments, c.alter, c.after)).report;
    Counts counts{};
    for (std::size_t i = 0; i < kStreamErrorKindCount; ++i) counts[i] = r.streamErrors[i].count;
    EXPECT_EQ(counts, c.counts);
    EXPECT_EQ(r.streamErrorEvents.items.size(), std::accumulate(counts.begin(), counts.end(), std::uint64_t{0}));
  }
}

// The first and last occurrence say where: the garbage lies behind the
// packet it cost, and the skipped bytes are that packet and the garbage.
TEST(StreamErrors, SyncLossPlaceAndBytes) {
  const std::string stream =
      BuildBroadcast(60, {}, [](int moment) { return moment == 30 || moment == 40 ? std::string(3, 'x') : ""; });
  const JobReport r = AnalyseStream(stream).report;
  const StreamErrorTally& sync = r.streamErrors[static_cast<std::size_t>(StreamErrorKind::SyncLoss)];
  ASSERT_EQ(sync.count, 2u);
  EXPECT_EQ(r.syncBytesSkipped, 2u * (188 + 3));
  EXPECT_EQ(sync.first.pid, kNoPid);
  EXPECT_EQ(stream.substr(sync.first.place.offset - 3, 3), "xxx");
  EXPECT_EQ(stream.substr(sync.last.place.offset - 3, 3), "xxx");
  EXPECT_LT(sync.first.place.offset, sync.last.place.offset);
}

// Errors on any PIDs within a second of play time are one incident.
TEST(Incidents, CloseErrorsOnSeveralPidsAreOneIncident) {
  struct Case {
    const char* name;
    std::array<int, 2> videoGaps;  // moments of a lost video PES start
    int audioGap;                  // moment of a lost audio PES start
    std::vector<std::vector<PidKind>> components;
  };
  const Case cases[] = {
      {"video and audio 40 ms apart", {100, 100}, 102, {{PidKind::Video, PidKind::Audio}}},
      {"video, then audio 2 s later", {100, 100}, 200, {{PidKind::Video}, {PidKind::Audio}}},
      {"video twice 3 s apart, audio with the second", {50, 200}, 202,
       {{PidKind::Video}, {PidKind::Video, PidKind::Audio}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AlterPacket alter = [&](Piece piece, int m, ts_test::Packet&) {
      if (piece == Piece::VideoStart && (m == c.videoGaps[0] || m == c.videoGaps[1])) return false;
      return !(piece == Piece::AudioStart && m == c.audioGap);
    };
    const JobReport r = AnalyseStream(BuildBroadcast(kMoments, alter)).report;
    std::vector<std::vector<PidKind>> components;
    std::uint64_t errors = 0;
    for (const LossIncident& incident : r.incidents.items) {
      components.push_back(incident.components);
      errors += incident.errors;
      EXPECT_EQ(incident.lostPackets, incident.errors);  // one packet each
      EXPECT_LE(incident.first.offset, incident.last.offset);
    }
    EXPECT_EQ(components, c.components);
    EXPECT_EQ(errors, r.continuityErrorTotal);
  }
}

}  // namespace
}  // namespace kestrun::analysis_test
