// The JSON report (-jsonpath): read back with a real parser and held against
// the generator's manifests, over the ways a run can go, and with a path that
// cannot be written. The console and log bytes stay what they are without it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "analysis/events.h"
#include "e2e/stream_e2e.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "support/stream_builder.h"
#include "ts/ts_test_packets.h"

namespace kestrun::stream_e2e {
namespace {

using nlohmann::json;
using testing::KestrunBuild;
using testing::ReadFileBytes;
using testing::TempDir;

// The document at `path`; null (and a test failure) when it does not parse.
json ReadReport(const std::string& path) {
  json report = json::parse(ReadFileBytes(path), nullptr, false);
  EXPECT_FALSE(report.is_discarded()) << "not a JSON document: " << path;
  return report.is_discarded() ? json() : report;
}

std::string IsoDateTime(const tsgen::DateTime& t) {
  return FormatText("%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                    t.second);
}

// (role, program, stream_type) of a PID, sorted, as the PAT and PMTs of the
// generated stream give them.
using Role = std::tuple<std::string, int, int>;

std::vector<Role> ExpectedRoles(const tsgen::Manifest& manifest, std::uint16_t pid) {
  std::vector<Role> roles;
  if (pid == 0x0000) roles.emplace_back("pat", -1, -1);
  if (pid == 0x0014) roles.emplace_back("time", -1, -1);
  if (pid == 0x1FFF) roles.emplace_back("null", -1, -1);
  for (const tsgen::ProgramExpectation& program : manifest.programs) {
    if (program.pmtPid == pid) roles.emplace_back("pmt", program.number, -1);
    if (program.pcrPid == pid && pid != 0x1FFF) roles.emplace_back("pcr", program.number, -1);
  }
  for (const tsgen::StreamExpectation& stream : manifest.streams) {
    if (stream.pid == pid) roles.emplace_back("stream", stream.program, stream.streamType);
  }
  if (roles.empty()) roles.emplace_back("other", -1, -1);
  std::sort(roles.begin(), roles.end());
  return roles;
}

// The kind a drop has where the generator injected a fault at its offset
// (others, such as the counters a PCR PID without payload keeps before its
// PMT exempts it, are not checked).
std::pair<std::string, json> ExpectedKind(const tsgen::Manifest& manifest, std::uint64_t offset) {
  for (const tsgen::InjectionRecord& injection : manifest.injections) {
    if (injection.offset != static_cast<std::int64_t>(offset)) continue;
    if (injection.kind == tsgen::InjectKind::Duplicate) return {"duplicate", 0};
    if (injection.kind == tsgen::InjectKind::AdaptationOnly) return {"noPayload", 0};
    if (injection.kind == tsgen::InjectKind::Drop) return {"gap", injection.amount % 16};
  }
  return {"", json()};
}

std::string ExpectedPidKind(const tsgen::Manifest& manifest, std::uint16_t pid) {
  for (const tsgen::StreamExpectation& stream : manifest.streams) {
    if (stream.pid != pid) continue;
    if (stream.streamType == 0x02 || stream.streamType == 0x1B) return "video";
    if (stream.streamType == 0x0F) return "audio";
  }
  if (pid == 0x0000) return "psi";
  for (const tsgen::ProgramExpectation& program : manifest.programs) {
    if (program.pmtPid == pid) return "psi";
  }
  if (pid == 0x0014) return "si";
  if (pid == 0x1FFF) return "null";
  return "";  // not checked
}

std::vector<Role> RolesIn(const json& pid) {
  std::vector<Role> roles;
  for (const json& role : pid.at("roles")) {
    roles.emplace_back(role.at("role").get<std::string>(), role.value("program", -1),
                       role.value("streamType", -1));
  }
  std::sort(roles.begin(), roles.end());
  return roles;
}

// The job's totals against its PIDs, its lists and the manifest.
void ExpectTotalsAgree(const json& job, const tsgen::Manifest& m) {
  std::uint64_t tei = 0;
  std::uint64_t scrambled = 0;
  for (const tsgen::PidExpectation& e : m.pids) {
    tei += e.tei;
    scrambled += e.scrambled;
  }
  for (const tsgen::DamagedExpectation& e : m.damaged) tei += e.tei;
  EXPECT_EQ(job.at("transportErrorTotal"), tei);
  EXPECT_EQ(job.at("scrambledTotal"), scrambled);
  EXPECT_EQ(job.at("complete"), true);
  EXPECT_EQ(job.at("dropsOmitted"), 0);
  const json& errors = job.at("continuityErrorEvents");
  EXPECT_EQ(job.at("continuityErrorTotal"), errors.size());
  std::uint64_t lost = 0;
  for (const json& error : errors) {
    if (error.at("kind") == "gap") lost += error.at("lostPackets").get<std::uint64_t>();
  }
  EXPECT_EQ(job.at("lostPacketsEstimate"), lost);
  std::uint64_t inIncidents = 0;
  for (const json& incident : job.at("incidents")) inIncidents += incident.at("errors").get<std::uint64_t>();
  EXPECT_EQ(inIncidents, errors.size());
  ASSERT_EQ(job.at("programs").size(), m.programs.size());
  for (std::size_t i = 0; i < m.programs.size(); ++i) {
    EXPECT_EQ(job.at("programs")[i].at("program"), m.programs[i].number);
    EXPECT_EQ(job.at("programs")[i].at("pmtPid"), m.programs[i].pmtPid);
    EXPECT_EQ(job.at("programs")[i].at("pcrPid"), m.programs[i].pcrPid);
  }
}

// Every count, role and drop of a file job against the stream's manifest.
void ExpectJobAsManifest(const json& job, const std::string& shownPath, const GeneratedStream& stream) {
  const tsgen::Manifest& m = stream.manifest;
  EXPECT_EQ(job.at("source"), shownPath);
  EXPECT_EQ(job.at("kind"), "file");
  EXPECT_EQ(job.at("end"), "endOfInput");
  EXPECT_TRUE(job.at("refusal").is_null());
  EXPECT_EQ(job.at("fileSize"), stream.bytes.size());
  EXPECT_EQ(job.at("bytes"), stream.bytes.size());
  EXPECT_EQ(job.at("packetSize"), m.packetSize);
  EXPECT_EQ(job.at("packets"), m.packets);
  EXPECT_EQ(job.at("dropTotal"), m.totalDrops);

  const json& pids = job.at("pids");
  ASSERT_EQ(pids.size(), m.pids.size());
  for (std::size_t i = 0; i < m.pids.size(); ++i) {
    const tsgen::PidExpectation& e = m.pids[i];
    const json& pid = pids[i];
    SCOPED_TRACE(FormatText("PID 0x%04X", e.pid));
    EXPECT_EQ(pid.at("pid"), e.pid);
    EXPECT_EQ(pid.at("checked"), e.checked);
    EXPECT_EQ(pid.at("drops"), e.drops);
    EXPECT_EQ(pid.at("lastCc"), e.lastCc);
    EXPECT_EQ(pid.at("pcrExempt"), e.pcr);
    EXPECT_EQ(pid.at("transportErrors"), e.tei);
    EXPECT_EQ(pid.at("scrambled"), e.scrambled);
    EXPECT_EQ(RolesIn(pid), ExpectedRoles(m, e.pid));
    const std::string kind = ExpectedPidKind(m, e.pid);
    if (!kind.empty()) {
      EXPECT_EQ(pid.at("kind"), kind);
    }
  }
  const json& damaged = job.at("damagedOnlyPids");
  ASSERT_EQ(damaged.size(), m.damaged.size());
  for (std::size_t i = 0; i < m.damaged.size(); ++i) {
    EXPECT_EQ(damaged[i].at("pid"), m.damaged[i].pid);
    EXPECT_EQ(damaged[i].at("transportErrors"), m.damaged[i].tei);
  }

  // Every drop, with `reported` where the log has its drop line.
  const json& drops = job.at("drops");
  ASSERT_EQ(drops.size(), m.drops.size());
  for (std::size_t i = 0; i < m.drops.size(); ++i) {
    const tsgen::DropExpectation& e = m.drops[i];
    const json& drop = drops[i];
    EXPECT_EQ(drop.at("pid"), e.pid);
    EXPECT_EQ(drop.at("dropCount"), e.number);
    EXPECT_EQ(drop.at("offset"), e.offset);
    EXPECT_EQ(drop.at("ticks"), e.ticks);
    EXPECT_EQ(drop.at("playTime"), e.time);
    EXPECT_EQ(drop.at("reported"), e.line);
    EXPECT_EQ(drop.at("broadcastTime"), e.tot ? json(IsoDateTime(*e.tot)) : json());
    const auto [kind, lost] = ExpectedKind(m, e.offset);
    if (!kind.empty()) {
      EXPECT_EQ(drop.at("kind"), kind) << e.offset;
    }
    if (!lost.is_null()) {
      EXPECT_EQ(drop.at("lostPackets"), lost) << e.offset;
    }
  }
  ExpectTotalsAgree(job, m);
  std::vector<std::uint16_t> pcrPids;
  for (const tsgen::PidExpectation& e : m.pids) {
    if (e.pcr) pcrPids.push_back(e.pid);
  }
  std::vector<std::uint16_t> reportedPcrPids = job.at("pcrPids").get<std::vector<std::uint16_t>>();
  std::sort(reportedPcrPids.begin(), reportedPcrPids.end());
  std::sort(pcrPids.begin(), pcrPids.end());
  EXPECT_EQ(reportedPcrPids, pcrPids);
}

class JsonReportRun : public StreamRun, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { KESTRUN_REQUIRE_BUILD(GetParam(), build_); }
};

// Streams with several programs and stream types, drops before and after
// the PCR PIDs are known, TEI packets (one on a PID's first packet, and a
// PID whose every packet is damaged) and scrambled packets:
//   stream  framing  programs
//   a       188      3; H.264 video, AAC audio, a data PID damaged throughout
//   b       192      1; PCR on the video PID
const std::vector<std::string> kFaultyA = {
    "-s", "1.2", "--programs", "3", "--video", "0x0111:0x1B", "--audio", "0x0112:0x0F",
    "--data", "0x0113", "--drop", "0x1F0@0", "--drop", "0x111@200", "--drop", "0x132@20,2",
    "--tei", "0x112@0", "--tei", "0x151@30", "--tei", "0x113@100%", "--scramble", "0x111@20%",
    "--scramble", "0x172@7", "--dup", "0x152@40"};
const std::vector<std::string> kFaultyB = {
    "-s", "1", "--packet-size", "192", "--pcr-on-video", "--drop", "0x111@300",
    "--scramble", "0x112@5%", "--tei", "0x111@500"};

// The document holds what the manifests say, and the console and the logs
// are byte for byte those of the run without a report.
TEST_P(JsonReportRun, CountsRolesAndDropsAsTheManifestsSay) {
  const GeneratedStream a = Generate(dir_, "a.ts", kFaultyA);
  const GeneratedStream b = Generate(dir_, "b.ts", kFaultyB);
  ASSERT_FALSE(b.path.empty());
  ASSERT_FALSE(a.manifest.damaged.empty());
  const std::string report = dir_.File("report.json");
  const auto result = Run({"-noprogress", "-jsonpath", build_.Path(report), build_.Path(a.path),
                           build_.Path(b.path)});
  const RunText expected = JoinSources({FileSourceText(build_.Path(a.path), a.manifest),
                                        FileSourceText(build_.Path(b.path), b.manifest)});
  EXPECT_EQ(result.out, expected.console);
  EXPECT_EQ(result.exitCode, expected.exitCode);
  EXPECT_EQ(Log(a), expected.logs[0]);
  EXPECT_EQ(Log(b), expected.logs[1]);

  const json doc = ReadReport(report);
  ASSERT_TRUE(doc.is_object());
  EXPECT_EQ(doc.at("format"), "kestrun-report");
  EXPECT_EQ(doc.at("program").at("name"), build_.BaseName());
  EXPECT_EQ(doc.at("run").at("exitCode"), result.exitCode);
  EXPECT_EQ(doc.at("run").at("dropTotal"), a.manifest.totalDrops + b.manifest.totalDrops);
  ASSERT_EQ(doc.at("jobs").size(), 2u);
  {
    SCOPED_TRACE("a.ts");
    ExpectJobAsManifest(doc["jobs"][0], build_.Path(a.path), a);
  }
  {
    SCOPED_TRACE("b.ts");
    ExpectJobAsManifest(doc["jobs"][1], build_.Path(b.path), b);
  }
}

// A report that cannot be written: one console notice after the closing
// line; the rest of the console, the log and the exit code are unchanged.
TEST_P(JsonReportRun, UnwritablePathChangesNothingElse) {
  const GeneratedStream a = Generate(dir_, "a.ts", {"-s", "0.5", "--drop", "0x111@100"});
  ASSERT_FALSE(a.path.empty());
  const RunText expected = JoinSources({FileSourceText(build_.Path(a.path), a.manifest)});
  for (const std::string& path : {dir_.File("no-such-folder/r.json"), dir_.path()}) {
    std::filesystem::remove(dir_.File("a." + build_.BaseName() + ".log"));
    const auto result = Run({"-noprogress", "-jsonpath", build_.Path(path), build_.Path(a.path)});
    EXPECT_EQ(result.out, expected.console + FormatText(text::kMsgJsonReportFailed,
                                                        build_.Path(path).c_str()));
    EXPECT_EQ(result.exitCode, expected.exitCode);
    EXPECT_EQ(Log(a), expected.logs[0]);
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_NE(entry.path().extension(), ".tmp") << "temporary file left: " << entry.path();
  }
}

// "-": standard output carries the document alone, the console text of the
// run goes to standard error.
TEST_P(JsonReportRun, DashSendsTheReportToStandardOutput) {
  const GeneratedStream a = Generate(dir_, "a.ts", {"-s", "0.5", "--drop", "0x111@100"});
  ASSERT_FALSE(a.path.empty());
  const RunText expected = JoinSources({FileSourceText(build_.Path(a.path), a.manifest)});
  const auto result = Run({"-noprogress", "-jsonpath", "-", build_.Path(a.path)});
  EXPECT_EQ(result.err, expected.console);
  EXPECT_EQ(result.exitCode, expected.exitCode);
  EXPECT_EQ(Log(a), expected.logs[0]);
  const json doc = json::parse(result.out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << result.out;
  ExpectJobAsManifest(doc.at("jobs").at(0), build_.Path(a.path), a);
}

INSTANTIATE_TEST_SUITE_P(Builds, JsonReportRun, ::testing::Values("native", "win64", "win32"));

bool IsLink(const std::string& path) { return std::filesystem::is_symlink(path); }

// What a report path names is written through, never replaced:
//
// path                          | the document goes to            | afterwards
// link to real/r.json (exists)  | real/r.json, replaced whole     | the link is a link
// link to a missing file        | that file, made                 | the link is a link
// FIFO with a reader waiting    | the reader                      | still a FIFO
// /dev/null                     | the device                      | still the device
// FIFO without a reader         | nowhere: a notice, no waiting   | still a FIFO
//
// No temporary file is left anywhere.
TEST(JsonReportTargets, PathsAreWrittenThroughNeverReplaced) {
  TempDir dir;
  const std::string a = dir.Write("a.ts", testing::CleanPackets(0x100, 20));
  std::filesystem::create_directory(dir.File("real"));
  dir.Write("real/r.json", "old");
  std::filesystem::create_symlink("real/r.json", dir.File("link.json"));
  std::filesystem::create_symlink("real/new.json", dir.File("dangling.json"));
  ASSERT_EQ(::mkfifo(dir.File("read.fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(dir.File("lonely.fifo").c_str(), 0600), 0);
  const KestrunBuild build{"native", KESTRUN_BIN, "", false};
  const auto run = [&](const std::string& path) {
    testing::ProcessOptions options;
    options.workingDirectory = dir.path();
    return build.Run({"-noprogress", "-nolog", "-jsonpath", path, a}, options);
  };
  const auto written = [](const std::string& text) {
    const json doc = json::parse(text, nullptr, false);
    return !doc.is_discarded() && doc.value("format", "") == "kestrun-report";
  };

  run("link.json");
  EXPECT_TRUE(IsLink(dir.File("link.json")));
  EXPECT_TRUE(written(ReadFileBytes(dir.File("real/r.json"))));
  run("dangling.json");
  EXPECT_TRUE(IsLink(dir.File("dangling.json")));
  EXPECT_TRUE(written(ReadFileBytes(dir.File("real/new.json"))));

  std::string fromFifo;
  std::thread reader([&] { fromFifo = ReadFileBytes(dir.File("read.fifo")); });
  // The reader's open waits for the writer, so the program finds it there.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto toFifo = run("read.fifo");
  // Should the program not have written, the reader still gets its end.
  const int release = ::open(dir.File("read.fifo").c_str(), O_WRONLY | O_NONBLOCK);
  if (release >= 0) ::close(release);
  reader.join();
  EXPECT_EQ(toFifo.out.find(text::kMsgJsonReportFailed), std::string::npos);
  EXPECT_TRUE(written(fromFifo));

  const auto toNull = run("/dev/null");
  EXPECT_EQ(toNull.out.find(text::kMsgJsonReportFailed), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

  const auto lonely = run("lonely.fifo");
  EXPECT_FALSE(lonely.timedOut);
  EXPECT_NE(lonely.out.find(FormatText(text::kMsgJsonReportFailed, "lonely.fifo")), std::string::npos);

  for (const char* fifo : {"read.fifo", "lonely.fifo"}) {
    EXPECT_TRUE(std::filesystem::is_fifo(dir.File(fifo))) << fifo;
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    EXPECT_NE(entry.path().extension(), ".tmp") << "temporary file left: " << entry.path();
  }
}


// A Windows build writes the report the native build writes, but for the
// program's name (and the run's clock), under either counting rule.
class JsonReportBuilds : public StreamRun, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { KESTRUN_REQUIRE_BUILD(GetParam(), build_); }

  json Report(const testing::KestrunBuild& build, const std::vector<std::string>& options) {
    std::vector<std::string> args = {"-noprogress", "-nolog", "-jsonpath", "r.json"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("a.ts");
    testing::ProcessOptions process;
    process.workingDirectory = dir_.path();
    build.Run(args, process);
    json doc = ReadReport(dir_.File("r.json"));
    if (!doc.is_object()) return doc;
    doc["program"].erase("name");
    doc["run"].erase("started");
    doc["run"].erase("ended");
    for (json& job : doc["jobs"]) job.erase("started");
    return doc;
  }
};

TEST_P(JsonReportBuilds, SameReportAsTheNativeBuild) {
  const GeneratedStream a = Generate(dir_, "a.ts", kFaultyA);
  ASSERT_FALSE(a.path.empty());
  const testing::KestrunBuild native{"native", KESTRUN_BIN, "", false};
  for (const std::vector<std::string>& options : {std::vector<std::string>{}, std::vector<std::string>{"-isocc"}}) {
    const json expected = Report(native, options);
    ASSERT_TRUE(expected.is_object());
    EXPECT_GT(expected.at("jobs")[0].at("continuityErrorTotal").get<int>(), 0);
    EXPECT_EQ(Report(build_, options), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, JsonReportBuilds, ::testing::Values("win64", "win32"));

// A stream with a drop, a continuity error and a sync loss at nearly every
// packet: the event lists stop at their limit, every count stays exact, and
// the process stays small whether a report is written or not. Each group is
// two packets of one PID and a byte of garbage: the first packet is
// delivered (its counter skips one), the second is lost with the garbage.
TEST(JsonReportMemory, DenseFaultsStayWithinBounds) {
  constexpr int kGroups = 120'000;
  constexpr long kBoundKib = 64 * 1024;
  testing::TempDir dir;
  std::string stream;
  stream.reserve(static_cast<std::size_t>(kGroups) * 377 + 188);
  std::uint8_t cc = 0;
  const auto packet = [&stream](std::uint8_t counter) {
    const ts_test::Packet p = ts_test::CcPacket(0x0100, static_cast<std::uint8_t>(counter & 0x0F));
    stream.append(p.begin(), p.end());
  };
  for (int i = 0; i < kGroups; ++i, cc = static_cast<std::uint8_t>(cc + 2)) {
    packet(cc);
    packet(static_cast<std::uint8_t>(cc + 1));
    stream += '\0';
  }
  packet(cc);
  const std::string path = dir.Write("dense.ts", stream);
  const testing::KestrunBuild build{"native", KESTRUN_BIN, "", false};
  // (A sanitizer's shadow memory has bounds of its own.)
  const long bound = testing::kSanitizerBuild ? std::numeric_limits<long>::max() : kBoundKib;
  const auto plain = build.Run({"-noprogress", "-nolog", "-isocc", path});
  EXPECT_LT(plain.maxRssKib, bound);
  const auto reported = build.Run({"-noprogress", "-nolog", "-jsonpath", dir.File("r.json"), path});
  EXPECT_LT(reported.maxRssKib, bound);
  const json doc = ReadReport(dir.File("r.json"));
  ASSERT_TRUE(doc.is_object());
  const json& job = doc.at("jobs")[0];
  const auto limit = kEventListLimit;
  EXPECT_EQ(job.at("dropTotal"), kGroups);
  EXPECT_EQ(job.at("drops").size(), limit);
  EXPECT_EQ(job.at("dropsOmitted"), kGroups - limit);
  EXPECT_EQ(job.at("continuityErrorTotal"), kGroups);
  EXPECT_EQ(job.at("continuityErrorEvents").size(), limit);
  EXPECT_EQ(job.at("continuityErrorEventsOmitted"), kGroups - limit);
  EXPECT_EQ(job.at("lostPacketsEstimate"), kGroups);
  EXPECT_EQ(job.at("streamErrors").at("syncLoss").at("count"), kGroups);
  EXPECT_EQ(job.at("streamErrors").at("syncLoss").at("bytesSkipped"), kGroups * 189ull);
  EXPECT_EQ(job.at("streamErrorEvents").size(), limit);
  EXPECT_EQ(job.at("streamErrorEventsOmitted"), kGroups - limit);
  EXPECT_EQ(job.at("drops")[limit - 1].at("dropCount"), limit);
}

// The shapes a run can take, each a complete document: the jobs in order
// with how each ended.
struct ShapeCase {
  const char* name;
  std::vector<std::string> args;  // "{a}" is the generated stream
  bool stdinStream = false;       // the stream on standard input, then SIGINT
  // kind, end, refusal (empty: null) of each job
  std::vector<std::tuple<std::string, std::string, std::string>> jobs;
};

TEST(JsonReportShapes, EveryRunShapeGivesACompleteDocument) {
  TempDir dir;
  const GeneratedStream a = Generate(dir, "a.ts", {"-s", "3", "--drop", "0x111@100"});
  ASSERT_FALSE(a.path.empty());
  dir.Write("text.txt", std::string(2000, 'x'));
  const ShapeCase cases[] = {
      {"sources, refusals and two passes",
       {"-loop2", "{a}", "missing.ts", "text.txt", "\\\\.\\bondriver\\\\1\\x.so"},
       false,
       {{"file", "endOfInput", ""},
        {"file", "refused", "fileMissing"},
        {"file", "refused", "notTransportStream"},
        {"tuner", "refused", "tunerSpaceMissing"},
        {"file", "endOfInput", ""},
        {"file", "refused", "fileMissing"},
        {"file", "refused", "notTransportStream"},
        {"tuner", "refused", "tunerSpaceMissing"}}},
      {"a duration window", {"-duration", "1", "{a}"}, false, {{"file", "window", ""}}},
      {"a missing file whose name begins with CON", {"CONTENT.ts"}, false, {{"file", "refused", "fileMissing"}}},
      {"standard input stopped by SIGINT", {"CON"}, true, {{"stdin", "stop", ""}}},
  };
  const KestrunBuild build{"native", KESTRUN_BIN, "", false};
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string report = dir.File("shape.json");
    std::filesystem::remove(report);
    std::vector<std::string> args = {"-noprogress", "-nolog", "-jsonpath", report};
    for (const std::string& arg : c.args) args.push_back(arg == "{a}" ? a.path : arg);
    testing::ProcessOptions options;
    options.workingDirectory = dir.path();
    if (c.stdinStream) {
      options.stdinData = a.bytes;
      options.keepStdinOpen = true;
      options.signal = SIGINT;
      options.signalAfter = std::chrono::milliseconds(500);
      options.signalAfterStdinRead = true;
    }
    const auto result = build.Run(args, options);
    const json doc = ReadReport(report);
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc.at("run").at("exitCode"), result.exitCode);
    const json& jobs = doc.at("jobs");
    ASSERT_EQ(jobs.size(), c.jobs.size());
    std::int64_t total = 0;
    for (std::size_t i = 0; i < c.jobs.size(); ++i) {
      const auto& [kind, end, refusal] = c.jobs[i];
      EXPECT_EQ(jobs[i].at("kind"), kind) << i;
      EXPECT_EQ(jobs[i].at("end"), end) << i;
      EXPECT_EQ(jobs[i].at("refusal"), refusal.empty() ? json() : json(refusal)) << i;
      total += jobs[i].at("dropTotal").get<std::int64_t>();
    }
    EXPECT_EQ(doc.at("run").at("dropTotal"), total);
    if (c.stdinStream) {
      // Everything written was read and checked before the stop.
      EXPECT_EQ(jobs[0].at("bytes"), a.bytes.size());
      EXPECT_EQ(jobs[0].at("packets"), a.manifest.packets);
      EXPECT_EQ(jobs[0].at("drops").size(), a.manifest.drops.size());
      EXPECT_TRUE(jobs[0].at("fileSize").is_null());
    }
  }
}

}  // namespace
}  // namespace kestrun::stream_e2e
