// The HTML report (-htmlpath) of real runs held against the JSON report of
// the same run: the marks add up to its drop and loss packets at its
// offsets, the strips to its damaged and scrambled packets, the markers to
// its stream errors; the page reaches nothing outside itself; in a real
// browser its script runs without error and it shows something; and the
// Windows builds write the same page.
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "e2e/stream_e2e.h"
#include "support/browser.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "support/html_elements.h"

namespace kestrun::stream_e2e {
namespace {

using nlohmann::json;
using testing::KestrunBuild;
using testing::PageMarks;
using testing::ReadFileBytes;
using testing::TempDir;

enum class Feed { File, Tuner, StdinStopped };

struct PageCase {
  const char* name;
  std::vector<std::string> stream;  // generator options
  Feed feed;
  // What the stream was made to show, so a case cannot pass vacuously.
  bool (*shows)(const json& job, const PageMarks& marks);
};

bool AnyIncidentHits(const json& job, const std::string& a, const std::string& b) {
  for (const json& incident : job.at("incidents")) {
    const json& components = incident.at("components");
    if (std::find(components.begin(), components.end(), a) != components.end() &&
        std::find(components.begin(), components.end(), b) != components.end()) {
      return true;
    }
  }
  return false;
}

bool AllDrops(const json& job, const char* member, const json& value) {
  for (const json& drop : job.at("drops")) {
    if (drop.at(member) != value) return false;
  }
  return !job.at("drops").empty();
}

const std::vector<PageCase> kCases = {
    {"clean", {"-s", "2"}, Feed::File,
     [](const json& job, const PageMarks& marks) { return job.at("drops").empty() && marks.packets == 0; }},
    {"drops on one PID, damaged and scrambled packets",
     {"-s", "3", "--drop", "0x111@200", "--drop", "0x111@900,3", "--tei", "0x112@30", "--scramble", "0x112@10%"},
     Feed::File,
     [](const json& job, const PageMarks&) {
       return AllDrops(job, "pid", 0x111) && job.at("transportErrorTotal") > 0 && job.at("scrambledTotal") > 0;
     }},
    {"an incident over video and audio", {"-s", "3", "--drop", "0x111@300", "--drop", "0x112@20"}, Feed::File,
     [](const json& job, const PageMarks&) { return AnyIncidentHits(job, "video", "audio"); }},
    {"null-PID drops only", {"-s", "3", "--drop", "0x1FFF@100", "--drop", "0x1FFF@400"}, Feed::File,
     [](const json& job, const PageMarks&) {
       return AllDrops(job, "kind", "nullPid") && job.at("continuityErrorTotal") == 0;
     }},
    {"dense drops", {"-s", "30", "-r", "2M", "--video", "0x0111:0x02:1M", "--drop", "0x111@3%"}, Feed::File,
     [](const json&, const PageMarks& marks) { return marks.aggregated; }},
    {"a tuner run",
     {"-s", "3", "-r", "2M", "--video", "0x0111:0x02:1M", "--drop", "0x0111@100", "--drop", "0x0112@20,2"},
     Feed::Tuner,
     [](const json& job, const PageMarks&) {
       return job.at("kind") == "tuner" && !job.at("drops").empty() && !job.at("signal").is_null();
     }},
    {"standard input stopped by SIGINT", {"-s", "3", "--drop", "0x111@100"}, Feed::StdinStopped,
     [](const json& job, const PageMarks&) { return job.at("end") == "stop" && !job.at("drops").empty(); }},
};

struct Written {
  std::string page;  // its path
  json report;
};

// Runs the native program over the case's stream with both reports.
Written RunCase(const PageCase& c, const TempDir& dir) {
  const GeneratedStream stream = Generate(dir, "a.ts", c.stream);
  Written written;
  written.page = dir.File("a.html");
  const std::string report = dir.File("a.json");
  std::vector<std::string> args = {"-noprogress", "-nolog", "-jsonpath", report, "-htmlpath", written.page};
  testing::ProcessOptions options;
  options.workingDirectory = dir.path();
  options.timeout = std::chrono::milliseconds(180000);
  switch (c.feed) {
    case Feed::File: args.push_back("a.ts"); break;
    case Feed::Tuner: {
      // Blocks the worker had no room for are handed out again: nothing is lost at the source.
      const std::string config =
          dir.Write("driver.conf", "file=" + stream.path + "\nblock=3008\npace_us=1000\nresend=1\nsignal=21.5,19\n");
      options.env.emplace_back("KESTRUN_TEST_DRIVER_CONFIG", config);
      args.insert(args.end(), {"-duration", "2", "\\\\.\\bondriver\\0\\13\\" + std::string(TEST_BONDRIVER)});
      break;
    }
    case Feed::StdinStopped:
      options.stdinData = stream.bytes;
      options.keepStdinOpen = true;
      options.signal = SIGINT;
      options.signalAfter = std::chrono::milliseconds(500);
      options.signalAfterStdinRead = true;
      args.push_back("CON");
      break;
  }
  const testing::ProcessResult result = KestrunBuild{"native", KESTRUN_BIN, "", false}.Run(args, options);
  EXPECT_FALSE(result.timedOut);
  written.report = json::parse(ReadFileBytes(report), nullptr, false);
  EXPECT_TRUE(written.report.is_object()) << "no JSON report";
  return written;
}

// The page's marks, strips and markers against the run's JSON report.
void ExpectMarksAsReport(const PageMarks& marks, const json& report) {
  std::set<std::pair<std::uint16_t, std::uint64_t>> packets;
  std::uint64_t transportErrors = 0, scrambled = 0, streamErrors = 0, crossings = 0;
  for (const json& job : report.at("jobs")) {
    for (const char* list : {"drops", "continuityErrorEvents"}) {
      for (const json& event : job.at(list)) packets.emplace(event.at("pid"), event.at("offset"));
    }
    transportErrors += job.at("transportErrorTotal").get<std::uint64_t>();
    scrambled += job.at("scrambledTotal").get<std::uint64_t>();
    streamErrors += job.at("streamErrorEvents").size();
    for (const json& incident : job.at("incidents")) crossings += incident.at("pids").size();
  }
  EXPECT_EQ(marks.packets, packets.size());
  for (const auto& place : marks.places) {
    EXPECT_EQ(packets.count(place), 1u) << "a mark at PID " << place.first << ", offset " << place.second
                                        << " that the report does not list";
  }
  EXPECT_EQ(marks.offsetsElsewhere, 0u);
  EXPECT_EQ(marks.transportErrors, transportErrors);
  EXPECT_EQ(marks.scrambled, scrambled);
  EXPECT_EQ(marks.streamErrors, streamErrors);
  EXPECT_EQ(marks.incidentCrossings, crossings);
}

// Runs each case this build can run and hands on what it wrote.
template <typename Check>
void ForEachCase(Check check) {
  for (const PageCase& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.feed == Feed::Tuner && std::string(TEST_BONDRIVER).empty()) continue;
    const TempDir dir;
    const Written written = RunCase(c, dir);
    if (written.report.is_object()) check(c, dir, written);
  }
}

TEST(HtmlReportPages, AddUpToTheJsonReportOfTheSameRun) {
  ForEachCase([](const PageCase& c, const TempDir&, const Written& written) {
    const std::string page = ReadFileBytes(written.page);
    const PageMarks marks = testing::ReadMarks(page);
    EXPECT_TRUE(c.shows(written.report.at("jobs").at(0), marks)) << "the stream does not show what it was made for";
    ExpectMarksAsReport(marks, written.report);
    // The signal line stands for every level the report lists, and only a
    // job with levels has one.
    const json& signal = written.report.at("jobs").at(0).at("signal");
    const std::vector<testing::HtmlElement> line = testing::ElementsWith(page, "data-signal");
    ASSERT_EQ(line.size(), signal.is_null() ? 0u : 1u);
    if (!signal.is_null()) {
      EXPECT_EQ(line[0].attributes.at("data-signal"), std::to_string(signal.at("series").size()));
    }
    EXPECT_EQ(testing::OutsideReference(page), "");
  });
}

TEST(HtmlReportPages, ShowInABrowserWithoutScriptErrors) {
  std::string browser;
  KESTRUN_REQUIRE_BROWSER(browser);
  const TempDir blankDir;
  const std::string blank =
      testing::LoadInBrowser(browser, blankDir.Write("blank.html", "<!DOCTYPE html><title>-</title>"), blankDir)
          .screenshot;
  ASSERT_FALSE(blank.empty()) << "the browser made no screenshot of an empty page";
  ForEachCase([&](const PageCase&, const TempDir& dir, const Written& written) {
    const testing::BrowserView view = testing::LoadInBrowser(browser, written.page, dir);
    ASSERT_FALSE(view.run.timedOut);
    const std::vector<testing::HtmlElement> root = testing::ElementsWith(view.dom, "data-script");
    ASSERT_FALSE(root.empty()) << "the page's script did not run\n" << view.run.err;
    EXPECT_EQ(root[0].name, "html");
    EXPECT_EQ(root[0].attributes.at("data-script"), "ready");
    EXPECT_EQ(root[0].attributes.count("data-script-error"), 0u) << view.dom.substr(0, 400);
    ExpectMarksAsReport(testing::ReadMarks(view.dom), written.report);
    std::string why;
    EXPECT_TRUE(testing::ShowsSomething(view.screenshot, blank, &why)) << why;
  });
}

// A page that cannot be written: one notice after the closing line; the
// console, the JSON report and the exit code are as without the page. A
// page asked for alone shows what it shows beside a JSON report, and "-"
// sends that page to standard output with the console on standard error.
TEST(HtmlReportPages, UnwritablePathChangesNothingElseAndAPageAloneIsWhole) {
  const TempDir dir;
  const GeneratedStream a = Generate(dir, "a.ts", {"-s", "0.5", "--drop", "0x111@100"});
  const KestrunBuild build{"native", KESTRUN_BIN, "", false};
  testing::ProcessOptions options;
  options.workingDirectory = dir.path();
  const auto plain =
      build.Run({"-noprogress", "-nolog", "-jsonpath", "plain.json", "-htmlpath", "plain.html", "a.ts"}, options);
  const auto refused =
      build.Run({"-noprogress", "-nolog", "-jsonpath", "b.json", "-htmlpath", dir.path(), "a.ts"}, options);
  EXPECT_EQ(refused.out, plain.out + FormatText(text::kMsgHtmlReportFailed, dir.path().c_str()));
  EXPECT_EQ(refused.exitCode, plain.exitCode);
  EXPECT_TRUE(testing::FileExists(dir.File("b.json")));

  build.Run({"-noprogress", "-nolog", "-htmlpath", "alone.html", "a.ts"}, options);
  const PageMarks beside = testing::ReadMarks(ReadFileBytes(dir.File("plain.html")));
  const PageMarks alone = testing::ReadMarks(ReadFileBytes(dir.File("alone.html")));
  EXPECT_GT(beside.packets, 0u);
  EXPECT_EQ(alone.packets, beside.packets);
  EXPECT_EQ(alone.places, beside.places);

  const auto piped = build.Run({"-noprogress", "-nolog", "-htmlpath", "-", "a.ts"}, options);
  EXPECT_EQ(piped.out, ReadFileBytes(dir.File("alone.html")));
  EXPECT_EQ(piped.err, plain.out);
}

class HtmlReportBuilds : public StreamRun, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { KESTRUN_REQUIRE_BUILD(GetParam(), build_); }
};

// The same stream gives the same page on every build, but for the
// program's name.
TEST_P(HtmlReportBuilds, WriteThePageOfTheNativeBuild) {
  const GeneratedStream a = Generate(dir_, "a.ts", kCases[1].stream);
  ASSERT_FALSE(a.path.empty());
  const KestrunBuild native{"native", KESTRUN_BIN, "", false};
  testing::ProcessOptions options;
  options.workingDirectory = dir_.path();
  native.Run({"-noprogress", "-nolog", "-htmlpath", "native.html", "a.ts"}, options);
  Run({"-noprogress", "-nolog", "-htmlpath", "windows.html", "a.ts"});
  std::string page = ReadFileBytes(dir_.File("windows.html"));
  ASSERT_FALSE(page.empty());
  for (std::size_t at = page.find(build_.BaseName()); at != std::string::npos; at = page.find(build_.BaseName(), at)) {
    page.replace(at, build_.BaseName().size(), "kestrun");
  }
  EXPECT_EQ(page, ReadFileBytes(dir_.File("native.html")));
}

INSTANTIATE_TEST_SUITE_P(Windows, HtmlReportBuilds, ::testing::Values("win64", "win32"));

}  // namespace
}  // namespace kestrun::stream_e2e
