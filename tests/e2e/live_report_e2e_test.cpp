// Reports during a long run: the metrics file and the JSON report rewritten
// on the wall clock (also while the input stalls), read by a poller that
// must never see half a file, the metrics parsed by the monitoring system's
// own parsers; the tuner's signal level on every build; a recording that is
// still being written (-follow); and a day of tuner input in bounded memory.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "e2e/metrics_check.h"
#include "e2e/stream_e2e.h"
#include "support/kestrun_builds.h"
#include "support/stream_builder.h"
#include "support/temp_dir.h"

namespace kestrun {
namespace {

using nlohmann::json;
using testing::KestrunBuild;
using testing::ParsedMetrics;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::ReadFileBytes;
using testing::SampleKey;
using testing::TempDir;
using Clock = std::chrono::steady_clock;

const std::string kTunerPrefix = "\\\\.\\bondriver\\";

// Every distinct version of the two files a poller saw while the run went on.
struct Observed {
  std::vector<std::string> metrics;
  std::vector<json> reports;
  std::vector<std::string> partial;  // a read that was not a whole document
  int runningReports = 0;
};

void Look(const std::string& path, std::string& last, const std::function<void(const std::string&)>& take) {
  std::string text = ReadFileBytes(path);
  if (text.empty() || text == last) return;
  last = text;
  take(text);
}

// Polls both files every few milliseconds until the run has ended.
ProcessResult PollWhileRunning(std::future<ProcessResult>& run, const std::string& metricsPath,
                               const std::string& reportPath, Observed& seen) {
  std::string lastMetrics;
  std::string lastReport;
  auto look = [&] {
    Look(metricsPath, lastMetrics, [&](const std::string& text) {
      // The last family is the last thing written.
      if (text.back() != '\n' || text.find("# TYPE kestrun_job_running gauge\n") == std::string::npos) {
        seen.partial.push_back(text);
      }
      seen.metrics.push_back(text);
    });
    Look(reportPath, lastReport, [&](const std::string& text) {
      json report = json::parse(text, nullptr, false);
      if (report.is_discarded()) {
        seen.partial.push_back(text);
        return;
      }
      if (report["run"]["running"] == true) ++seen.runningReports;
      seen.reports.push_back(std::move(report));
    });
  };
  while (run.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) look();
  look();
  return run.get();
}

// Each version parses in both parsers, and no counter ever goes down.
void ExpectValidAndNeverDecreasing(const std::vector<std::string>& versions, const TempDir& dir) {
  std::map<std::string, double> previous;
  for (std::size_t v = 0; v < versions.size(); ++v) {
    const ParsedMetrics parsed = testing::ParseMetrics(versions[v], dir.File("check.prom"));
    EXPECT_EQ(parsed.error, "") << "version " << v << ":\n" << versions[v];
    for (const auto& [key, value] : parsed.samples) {
      if (key.find("_total{") == std::string::npos) continue;
      const auto before = previous.find(key);
      if (before != previous.end()) {
        EXPECT_GE(value, before->second) << key << " in version " << v;
      }
      previous[key] = value;
    }
  }
}

// The last metrics file tells what the last report tells, job by job
// added up per source (every job here has a source of its own).
void ExpectMetricsMatchReport(const std::string& metricsText, const json& report, const TempDir& dir) {
  const ParsedMetrics metrics = testing::ParseMetrics(metricsText, dir.File("final.prom"));
  ASSERT_EQ(metrics.error, "");
  for (const json& job : report["jobs"]) {
    const std::string source = job["source"];
    auto value = [&](const std::string& key) {
      const auto found = metrics.samples.find(key);
      EXPECT_NE(found, metrics.samples.end()) << key;
      return found == metrics.samples.end() ? -1.0 : found->second;
    };
    EXPECT_EQ(value(SampleKey("kestrun_read_bytes_total", source)), job["bytes"].get<double>());
    EXPECT_EQ(value(SampleKey("kestrun_discarded_bytes_total", source)),
              job["discardedBytes"].get<double>());
    EXPECT_EQ(value(SampleKey("kestrun_job_running", source)), 0.0);
    for (const json& pid : job["pids"]) {
      char label[8];
      std::snprintf(label, sizeof label, "0x%04X", pid["pid"].get<unsigned>());
      const std::string kind = pid["kind"];
      for (const auto& [metric, member] : {std::pair{"kestrun_packets_total", "checked"},
                                           {"kestrun_drops_total", "drops"},
                                           {"kestrun_continuity_errors_total", "continuityErrors"},
                                           {"kestrun_transport_errors_total", "transportErrors"},
                                           {"kestrun_scrambled_packets_total", "scrambled"}}) {
        EXPECT_EQ(value(SampleKey(metric, source, label, kind)), pid[member].get<double>()) << metric;
      }
    }
    for (const auto& [indicator, tally] : job["streamErrors"].items()) {
      EXPECT_EQ(value(SampleKey("kestrun_stream_errors_total", {{"source", source}, {"indicator", indicator}})),
                tally["count"].get<double>());
    }
    const auto level = metrics.samples.find(SampleKey("kestrun_signal_level", source));
    if (job["signal"].is_null()) {
      EXPECT_EQ(level, metrics.samples.end()) << source;
    } else if (level != metrics.samples.end()) {
      EXPECT_FLOAT_EQ(static_cast<float>(level->second), job["signal"]["latest"].get<float>());
    } else {
      ADD_FAILURE() << "no signal level for " << source;
    }
  }
}

class LiveReportRun : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRUN_REQUIRE_PROMETHEUS();
    build_.exe = KESTRUN_BIN;
#if !defined(TSGEN_BIN)
    GTEST_SKIP() << "tsgen not built";
#endif
  }

  std::string Generate(const std::string& name, const std::vector<std::string>& options) {
    return stream_e2e::Generate(dir_, name, options).path;
  }

  ProcessOptions DriverOptions(const std::string& keys) {
    ProcessOptions options;
    options.env.emplace_back("KESTRUN_TEST_DRIVER_CONFIG", dir_.Write("driver.conf", keys));
    options.workingDirectory = dir_.path();
    options.timeout = std::chrono::milliseconds(180000);
    return options;
  }

  std::future<ProcessResult> Start(std::vector<std::string> args, const ProcessOptions& options) {
    return std::async(std::launch::async, [this, args, options] { return build_.Run(args, options); });
  }

  std::string Metrics() const { return dir_.File("live.prom"); }
  std::string Report() const { return dir_.File("live.json"); }
  std::vector<std::string> ReportArgs() const {
    return {"-nolog", "-noprogress", "-interval", "1", "-metricspath", Metrics(), "-jsonpath", Report()};
  }

  KestrunBuild build_;
  TempDir dir_;
};

// A tuner run of about four seconds (a -duration window of a stream served
// in real time) with a changing signal level, then a file: every rewrite is
// whole and valid, the counters never go down, the files say the run is
// going on until the last write, whose metrics equal its report.
TEST_F(LiveReportRun, EveryRewriteDuringATunerRunIsWholeValidAndNeverGoesDown) {
  const std::string stream =
      Generate("tuner.ts", {"-s", "6", "-r", "2M", "--video", "0x0111:0x02:1M", "--loss", "0.05"});
  ASSERT_FALSE(stream.empty());
  std::vector<std::string> args = ReportArgs();
  args.insert(args.end(), {"-duration", "4", kTunerPrefix + "0\\13\\" + build_.TestDriver(), stream});
  const ProcessOptions options =
      DriverOptions("file=" + stream + "\nblock=3008\nrate=250000\nresend=1\nsignal=18.5,20,fail\n");
  auto run = Start(args, options);
  Observed seen;
  const ProcessResult result = PollWhileRunning(run, Metrics(), Report(), seen);
  ASSERT_FALSE(result.timedOut);
  EXPECT_TRUE(seen.partial.empty()) << seen.partial.size() << " partial reads, first:\n" << seen.partial.front();
  EXPECT_GE(seen.runningReports, 3);
  EXPECT_GE(seen.metrics.size(), 4u);
  for (std::size_t i = 0; i + 1 < seen.reports.size(); ++i) {
    EXPECT_TRUE(seen.reports[i]["run"]["ended"].is_null());
    EXPECT_EQ(seen.reports[i]["jobs"].back()["end"], "running");
  }
  ExpectValidAndNeverDecreasing(seen.metrics, dir_);
  ASSERT_FALSE(seen.reports.empty());
  const json& last = seen.reports.back();
  EXPECT_EQ(last["run"]["running"], false);
  EXPECT_EQ(last["run"]["exitCode"], result.exitCode);
  ASSERT_EQ(last["jobs"].size(), 2u);
  const json& signal = last["jobs"][0]["signal"];
  ASSERT_TRUE(signal.is_object()) << last["jobs"][0].dump();
  EXPECT_EQ(signal["min"], 18.5);
  EXPECT_EQ(signal["max"], 20.0);
  EXPECT_TRUE(last["jobs"][1]["signal"].is_null());
  ExpectMetricsMatchReport(seen.metrics.back(), last, dir_);
}

// Modification time of a file in nanoseconds, 0 when it is not there.
std::int64_t ModifiedNs(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return 0;
  return std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
}

// Standard input that stalls with its writer still there: the worker waits
// in its read, and the files are still rewritten every interval with
// everything read so far.
TEST_F(LiveReportRun, FilesAreRewrittenWhileTheInputStalls) {
  const std::string stream = Generate("stdin.ts", {"-s", "2", "--drop", "0x0111@50"});
  ASSERT_FALSE(stream.empty());
  ProcessOptions options;
  options.stdinData = ReadFileBytes(stream);
  options.keepStdinOpen = true;
  options.signal = SIGINT;
  options.signalAfter = std::chrono::milliseconds(4500);
  options.signalAfterStdinRead = true;
  std::vector<std::string> args = ReportArgs();
  args.push_back("CON");
  auto run = Start(args, options);
  std::vector<std::int64_t> stalledWrites;
  while (run.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    const json report = json::parse(ReadFileBytes(Report()), nullptr, false);
    if (report.is_discarded() || report["jobs"].empty()) continue;
    const json& job = report["jobs"].back();
    const std::int64_t modified = ModifiedNs(Report());
    if (job["bytes"] == options.stdinData->size() && job["end"] == "running" &&
        (stalledWrites.empty() || stalledWrites.back() != modified)) {
      stalledWrites.push_back(modified);
    }
  }
  const ProcessResult result = run.get();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_GE(stalledWrites.size(), 3u) << "rewrites seen while the input stalled";
  const json last = json::parse(ReadFileBytes(Report()));
  EXPECT_EQ(last["jobs"][0]["end"], "stop");
}

// A recording written in bursts, with pauses shorter than the quiet time,
// is read to its true end with the drops of the whole file; the run ends
// the quiet time after the last growth; the metrics stay valid throughout.
// With a long quiet time, Ctrl+C ends the wait at once.
TEST_F(LiveReportRun, FollowedRecordingIsReadToItsEndAndEndsAfterTheQuietTime) {
  const auto whole = stream_e2e::Generate(dir_, "whole.ts", {"-s", "6", "--drop", "0x0111@100",
                                                              "--drop", "0x0112@150", "--drop", "0x0111@2500"});
  ASSERT_FALSE(whole.path.empty());
  const std::string growing = dir_.File("growing.ts");
  const std::size_t third = whole.bytes.size() / 3 + 100;  // not at a packet boundary
  dir_.Write("growing.ts", whole.bytes.substr(0, third));
  std::vector<std::string> args = ReportArgs();
  args.insert(args.end(), {"-followtime", "2", growing});
  ProcessOptions options;
  options.timeout = std::chrono::milliseconds(60000);
  auto run = Start(args, options);
  Clock::time_point lastGrowth;
  std::thread writer([&] {
    for (std::size_t from = third; from < whole.bytes.size(); from += third) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1200));
      std::ofstream(growing, std::ios::binary | std::ios::app) << whole.bytes.substr(from, third);
      lastGrowth = Clock::now();
    }
  });
  Observed seen;
  const ProcessResult result = PollWhileRunning(run, Metrics(), Report(), seen);
  const auto ended = Clock::now();
  writer.join();
  EXPECT_EQ(result.exitCode, static_cast<int>(whole.manifest.totalDrops));
  const double quiet = std::chrono::duration<double>(ended - lastGrowth).count();
  EXPECT_GE(quiet, 1.9);
  // A sanitized program takes seconds longer to write its last files and end.
  EXPECT_LT(quiet, testing::kSanitizerBuild ? 10.0 : 3.5);
  EXPECT_TRUE(seen.partial.empty());
  ExpectValidAndNeverDecreasing(seen.metrics, dir_);
  ASSERT_FALSE(seen.reports.empty());
  const json& job = seen.reports.back()["jobs"][0];
  EXPECT_EQ(job["end"], "endOfInput");
  EXPECT_EQ(job["bytes"], whole.bytes.size());
  ExpectMetricsMatchReport(seen.metrics.back(), seen.reports.back(), dir_);

  options.signal = SIGINT;
  options.signalAfter = std::chrono::milliseconds(1000);
  const auto started = Clock::now();
  const ProcessResult stopped = build_.Run({"-nolog", "-noprogress", "-followtime", "60",
                                            "-jsonpath", Report(), growing}, options);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(),
            testing::kSanitizerBuild ? 10.0 : 3.0);
  EXPECT_EQ(stopped.exitCode, static_cast<int>(whole.manifest.totalDrops));
  EXPECT_EQ(json::parse(ReadFileBytes(Report()))["jobs"][0]["end"], "stop");
}

// A day of stream time from the tuner, driven faster than real time, with a
// drop every second: resident memory and the metrics file stay bounded.
TEST_F(LiveReportRun, DayOfTunerInputStaysWithinMemoryAndFileBounds) {
  if (testing::kSanitizerBuild) GTEST_SKIP() << "a sanitizer's shadow memory has bounds of its own";
  // A minute of stream with a drop every second on the video PID (about 13
  // packets a second), served 1440 times over at 40 MB/s: fast, but not so
  // fast that the tuner's hand-off fills up while the report is written.
  // The last pass ends with a marker PID whose drop line shows how far the
  // worker has got.
  std::vector<std::string> options = {"-s", "60", "-r", "100k", "--video", "0x0111:0x02:40k",
                                      "--audio", "0x0112:0x0F:16k"};
  for (int second = 0; second < 60; ++second) {
    options.insert(options.end(), {"--drop", "0x0111@" + std::to_string(12 * second + 6)});
  }
  const auto minute = stream_e2e::Generate(dir_, "minute.ts", options);
  ASSERT_FALSE(minute.path.empty());
  ASSERT_EQ(minute.manifest.totalDrops, 60u);
  const std::string markedBytes = minute.bytes + testing::PacketsWithCc(0x1FF0, {0, 2});
  const std::string marked = dir_.Write("marked.ts", markedBytes);
  constexpr int kPasses = 1440;
  std::vector<std::string> args = ReportArgs();
  args.push_back(kTunerPrefix + "0\\13\\" + build_.TestDriver());
  ProcessOptions run = DriverOptions("file=" + marked + "\nblock=48128\npace_us=0\nrate=40000000\n"
                                     "resend=1\nsignal=20\npasses=" + std::to_string(kPasses) + "\n");
  run.signal = SIGINT;
  // Each pass adds one drop of the marker PID, and so does the step back to
  // the start of the file: the last pass shows 2 * passes - 1.
  run.signalWhen = "PID 0x1FF0 , " + std::to_string(2 * kPasses - 1) + " Drop";
  const ProcessResult result = build_.Run(args, run);
  ASSERT_FALSE(result.timedOut);
  rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  EXPECT_LT(usage.ru_maxrss, 96 * 1024) << "peak resident KiB";
  ::testing::Test::RecordProperty("peak_resident_kib", static_cast<int>(usage.ru_maxrss));
  const std::string metrics = ReadFileBytes(Metrics());
  EXPECT_LT(metrics.size(), 1000000u);
  const json report = json::parse(ReadFileBytes(Report()));
  const json& job = report["jobs"][0];
  EXPECT_EQ(job["bytes"], std::uint64_t{kPasses} * markedBytes.size());
  EXPECT_GE(report["run"]["dropTotal"].get<int>(), 60 * kPasses);
  ExpectMetricsMatchReport(metrics, report, dir_);
}

// The signal level read through the driver interface, on every build: the
// test driver built with the program natively, the MSVC-ABI driver (as real
// drivers are built) under Wine. Three copies of the driver, each with its
// own configuration beside it: a constant level, a changing one and one
// that always fails; each job is a three-second window of a stream served
// in about real time.
class SignalLevelOnEveryBuild : public ::testing::TestWithParam<const char*> {
 protected:
  KestrunBuild build_;
  TempDir dir_;
};

TEST_P(SignalLevelOnEveryBuild, ConstantChangingAndFailingLevels) {
#if !defined(TSGEN_BIN)
  GTEST_SKIP() << "tsgen not built";
#else
  KESTRUN_REQUIRE_BUILD(GetParam(), build_);
  const std::string driver = build_.windows ? build_.MsvcTestDriver() : build_.TestDriver();
  if (driver.empty()) {
    if (std::getenv("KESTRUN_REQUIRE_WINDOWS") != nullptr) FAIL() << "MSVC-ABI test driver missing";
    GTEST_SKIP() << "no MSVC-ABI test driver beside " << build_.exe;
  }
  const std::string stream =
      stream_e2e::Generate(dir_, "s.ts", {"-s", "4", "-r", "2M", "--video", "0x0111:0x02:1M"}).path;
  ASSERT_FALSE(stream.empty());
  const std::string extension = build_.windows ? ".dll" : ".so";
  const std::vector<std::pair<std::string, std::string>> drivers = {
      {"constant", "17.25"}, {"changing", "20,22.5"}, {"failing", "fail"}};
  std::vector<std::string> args = {"-nolog", "-noprogress", "-duration", "3",
                                   "-jsonpath", build_.Path(dir_.File("r.json"))};
  for (const auto& [name, levels] : drivers) {
    const std::string copy = dir_.Write(name + extension, ReadFileBytes(driver));
    dir_.Write(name + extension + ".conf",
               "file=" + build_.Path(stream) + "\nblock=3008\npace_us=12000\nsignal=" + levels +
                   "\ncalllog=" + build_.Path(dir_.File(name + ".calls")) + "\n");
    args.push_back(kTunerPrefix + "0\\13\\" + build_.Path(copy));
  }
  ProcessOptions options;
  options.workingDirectory = dir_.path();
  options.timeout = std::chrono::milliseconds(120000);
  const auto started = Clock::now();
  const ProcessResult result = build_.Run(args, options);
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  ASSERT_FALSE(result.timedOut);
  const json report = json::parse(ReadFileBytes(dir_.File("r.json")), nullptr, false);
  ASSERT_FALSE(report.is_discarded()) << result.out;
  ASSERT_EQ(report["jobs"].size(), 3u);
  const json& constant = report["jobs"][0]["signal"];
  ASSERT_TRUE(constant.is_object()) << report["jobs"][0].dump();
  for (const char* member : {"latest", "min", "mean", "max"}) EXPECT_EQ(constant[member], 17.25) << member;
  EXPECT_GE(constant["series"].size(), 2u);
  for (const json& sample : constant["series"]) EXPECT_EQ(sample[1], 17.25);
  const json& changing = report["jobs"][1]["signal"];
  ASSERT_TRUE(changing.is_object()) << report["jobs"][1].dump();
  EXPECT_EQ(changing["min"], 20.0);
  EXPECT_EQ(changing["max"], 22.5);
  EXPECT_TRUE(report["jobs"][2]["signal"].is_null());
  // About once a second, never more than four times.
  int calls = 0;
  for (const auto& [name, levels] : drivers) {
    const std::string log = ReadFileBytes(dir_.File(name + ".calls"));
    for (std::size_t at = log.find("GetSignalLevel"); at != std::string::npos;
         at = log.find("GetSignalLevel", at + 1)) {
      ++calls;
    }
  }
  EXPECT_GE(calls, 6);
  EXPECT_LE(calls, 4 * seconds + 3);
#endif
}

INSTANTIATE_TEST_SUITE_P(Builds, SignalLevelOnEveryBuild, ::testing::Values("native", "win64", "win32"));

}  // namespace
}  // namespace kestrun
