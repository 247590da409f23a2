// The HTML page written from hand-made reports: every listed packet drawn
// once however dense, the strips, bands and markers adding up to what the
// report holds, texts escaped, nothing outside the page; the verdict's
// level and words; the signal line.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "report/html_signal.h"
#include "report/html_verdict.h"
#include "report/run_report_html.h"
#include "support/html_elements.h"

namespace kestrun {
namespace {

constexpr std::uint64_t kSecond = 90000;

StreamPlace At(std::uint64_t offset, std::uint64_t ticks) {
  StreamPlace place;
  place.offset = offset;
  place.ticks = ticks;
  place.playTime = TicksToClockTime(ticks);
  return place;
}

DropEvent Event(std::uint16_t pid, std::uint64_t offset, std::uint64_t ticks, DropKind kind, std::uint8_t lost = 0) {
  DropEvent event;
  event.pid = pid;
  event.place = At(offset, ticks);
  event.kind = kind;
  event.lostPackets = lost;
  return event;
}

PidReport Pid(std::uint16_t pid, PidKind kind, const char* name) {
  PidReport report;
  report.pid = pid;
  report.kind = kind;
  report.name = name;
  report.checked = 100000;
  return report;
}

LossIncident Incident(std::uint64_t from, std::uint64_t to, std::vector<std::uint16_t> pids,
                      std::vector<PidKind> components) {
  LossIncident incident;
  incident.first = At(from * 188, from);
  incident.last = At(to * 188, to);
  incident.pids = std::move(pids);
  incident.components = std::move(components);
  incident.errors = 1;
  incident.lostPackets = 1;
  return incident;
}

// A ten-minute recording: 3,000 losses on video within its first seconds
// (far more than the drawing has columns there), each also a drop; null-PID
// drops spread over it; an audio loss the default rule did not count; two
// incidents, three stream errors, damaged and scrambled stretches, a PID that
// only ever arrived damaged, and a signal level.
JobReport BusyJob() {
  JobReport job;
  job.source = "rec/<b>&\"x'.ts";
  job.outcome.kind = SourceKind::File;
  job.outcome.packetsBySize[0] = 300000;
  job.outcome.bytesRead = 300000 * 188;
  job.pids = {Pid(0x0111, PidKind::Video, "H.264 video"), Pid(0x0112, PidKind::Audio, "AAC audio"),
              Pid(0x1FFF, PidKind::Null, "Null packets")};
  job.damagedOnly = {{0x0500, 3}};
  job.hasPlayTime = true;
  job.lastTicks = 600 * kSecond;
  for (std::uint64_t i = 0; i < 3000; ++i) {
    job.drops.Add(Event(0x0111, 1000 + i * 1880, i * 180, DropKind::Gap, 2));
    job.continuityErrors.Add(Event(0x0111, 1000 + i * 1880, i * 180, DropKind::Gap, 2));
  }
  for (std::uint64_t i = 0; i < 50; ++i) {
    job.drops.Add(Event(0x1FFF, 10000000 + i * 188000, 10 * kSecond + i * 10 * kSecond, DropKind::NullPid));
  }
  job.continuityErrors.Add(Event(0x0112, 40000000, 300 * kSecond, DropKind::Gap, 1));
  job.continuityErrorTotal = 3001;
  job.incidents.Add(Incident(0, 6 * kSecond, {0x0111, 0x0112}, {PidKind::Video, PidKind::Audio}));
  job.incidents.Add(Incident(300 * kSecond, 300 * kSecond, {0x0112}, {PidKind::Audio}));
  const std::pair<StreamErrorKind, std::uint64_t> errors[] = {
      {StreamErrorKind::CrcError, 0}, {StreamErrorKind::CrcError, 90}, {StreamErrorKind::PcrRepetition, 200 * kSecond}};
  for (const auto& [kind, ticks] : errors) {
    job.streamErrorEvents.Add(StreamErrorEvent{kind, 0x0000, At(ticks, ticks)});
    ++job.streamErrors[static_cast<std::size_t>(kind)].count;
  }
  job.samples.damage = {{0, 1000000, 0, 20 * kSecond, {{0x0111, 7, 0}, {0x0112, 0, 100}}},
                        {9000000, 9000188, 400 * kSecond, 401 * kSecond, {{0x0500, 3, 0}}}};
  job.transportErrorTotal = 10;
  job.scrambledTotal = 100;
  job.outcome.signal.samples = {
      {1700000000000, 30.5f}, {1700000010000, 31.0f}, {1700000600000, 28.25f}, {1700000601000, 29.0f}};
  return job;
}

TEST(HtmlReport, BusyJobDrawsEveryListedPacketOnceAndAddsUp) {
  RunReport run;
  run.jobs.push_back(BusyJob());
  const JobReport& job = run.jobs.front();
  const std::string page = FormatRunReportHtml(run, "kestrun");

  std::set<std::pair<std::uint16_t, std::uint64_t>> packets;
  for (const auto* list : {&job.drops.items, &job.continuityErrors.items}) {
    for (const DropEvent& event : *list) packets.emplace(event.pid, event.place.offset);
  }
  const testing::PageMarks marks = testing::ReadMarks(page);
  EXPECT_EQ(marks.packets, packets.size());
  EXPECT_TRUE(marks.aggregated);
  for (const auto& place : marks.places) EXPECT_EQ(packets.count(place), 1u) << place.first << " " << place.second;
  EXPECT_EQ(marks.offsetsElsewhere, 0u);
  EXPECT_EQ(marks.transportErrors, 10u);
  EXPECT_EQ(marks.scrambled, 100u);
  EXPECT_EQ(marks.streamErrors, 3u);
  EXPECT_EQ(marks.incidentCrossings, 3u);  // two PIDs, then one
  EXPECT_EQ(testing::ElementsWith(page, "data-signal").at(0).attributes.at("data-signal"), "4");

  EXPECT_EQ(page.find("<b>&"), std::string::npos);
  EXPECT_NE(page.find("rec/&lt;b&gt;&amp;&quot;x&#39;.ts"), std::string::npos);
  EXPECT_NE(page.find("0x0500"), std::string::npos) << "the PID that only arrived damaged has a row";
  EXPECT_EQ(testing::OutsideReference(page), "");
}

struct VerdictCase {
  const char* name;
  void (*make)(JobReport&);
  html::VerdictLevel level;
  const char* words;  // in the headline or a detail
};

TEST(HtmlReport, VerdictSaysWhatHappened) {
  const VerdictCase cases[] = {
      {"clean", [](JobReport&) {}, html::VerdictLevel::Clean, "Clean: nothing lost"},
      {"null-PID drops only",
       [](JobReport& job) { job.drops.Add(Event(0x1FFF, 188, 0, DropKind::NullPid)); },
       html::VerdictLevel::Notes, "1 drop by the default rule is not a loss: 1 on the null PID"},
      {"losses", [](JobReport& job) { job = BusyJob(); }, html::VerdictLevel::Losses,
       "3,001 losses in 2 incidents hitting video and audio"},
      {"stopped", [](JobReport& job) { job.outcome.end = JobEnd::Stop; }, html::VerdictLevel::Clean,
       "stopped before the end"},
  };
  for (const VerdictCase& c : cases) {
    SCOPED_TRACE(c.name);
    JobReport job;
    job.outcome.packetsBySize[0] = 1;
    c.make(job);
    const html::Verdict verdict = html::JudgeJob(job);
    EXPECT_EQ(verdict.level, c.level);
    std::string words = verdict.headline;
    for (const std::string& detail : verdict.details) words += "\n" + detail;
    EXPECT_NE(words.find(c.words), std::string::npos) << words;
  }
}

// The line's points: (column, y) in a row at 0 of height 40, levels
// averaged per column, the lowest at the bottom margin, the highest at the top.
TEST(HtmlReport, SignalLineFollowsTheLevels) {
  const struct {
    const char* name;
    html::SignalLevels levels;
    const char* points;
  } cases[] = {
      {"rising", {{100, 0.0f}, {110, 10.0f}}, "0,36 999,4"},
      {"one moment, averaged", {{100, 10.0f}, {100, 20.0f}}, "0,20 1,20"},
      {"not a number left out", {{100, std::numeric_limits<float>::quiet_NaN()}, {105, 5.0f}}, "0,20 1,20"},
      {"nothing to draw", {{100, std::numeric_limits<float>::infinity()}}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out;
    html::WriteSignal(out, c.levels, 0, 40);
    if (c.points == nullptr) {
      EXPECT_EQ(out, "");
      continue;
    }
    const auto lines = testing::ElementsWith(out, "points");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].attributes.at("points"), c.points);
  }
}

}  // namespace
}  // namespace kestrun
