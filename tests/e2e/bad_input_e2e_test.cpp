// Hostile and broken input for the native program: every row ends in the
// outcome a user should get, with no crash, no hang and no lost record line.
//
// Scenario table (what the user sees):
//   empty file, 384-byte file, directory, unreadable file, random bytes
//                                   -> "not a transport stream", exit 0, no log
//   385-byte file                   -> accepted: the two whole packets are counted
//   random bytes behind a good start-> a run; whatever it counts, the log holds
//                                      every record line and the exit code the total
//   a file of 0x47 bytes            -> one PID 0x0747 whose counter never moves:
//                                      every packet after the first is a drop
//   truncated last packet           -> the whole packets are counted, the rest ignored
//   188/192 framing switching       -> every packet found, no drop
//   adaptation_field_length 255,
//   pointer_field 255, section_length 4095
//                                   -> counted like any packet, the tables are ignored
//   PMT naming 9 PCR PIDs           -> 8 exempt, the 9th checked, its drops reported
//   -bufsize 4294967295             -> a 2 GiB block; a clean run where it can be had,
//                                      else a message per job and an empty summary
//   log in a missing folder, log path is a folder, read-only log
//                                   -> the console keeps every line and says once per
//                                      job, also on standard error, that the log cannot
//                                      be written; no folder is made
//   very long, too long and non-ASCII paths
//                                   -> handled like any path (too long: "missing")
//   a source given twice, -loop100  -> each pass counts and logs on its own
//   log deleted during a run        -> recreated by the next message
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/stream_e2e.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "support/kestrun_builds.h"
#include "support/stream_builder.h"
#include "support/temp_dir.h"
#include "ts/ts_test_packets.h"

namespace kestrun {
namespace {

using testing::CleanPackets;
using testing::FileExists;
using testing::PacketsWithCc;
using testing::ReadFileBytes;
using testing::TempDir;

// The environment variable that carries the options of the sanitizer the
// program was built with; empty without one.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kSanitizerOptions = "ASAN_OPTIONS";
#elif defined(__SANITIZE_THREAD__)
constexpr const char* kSanitizerOptions = "TSAN_OPTIONS";
#else
constexpr const char* kSanitizerOptions = "";
#endif

constexpr std::uint32_t kLargestBufsize = 2147483647;  // what "4294967295" reads as

bool RunningAsRoot() { return geteuid() == 0; }

using stream_e2e::Closing;

std::string Summary(int pid, int lastCc, long long drops, long long total, bool exempt = false) {
  return FormatText(text::kFmtPidSummary, pid, lastCc, drops, drops == 0 || drops == 1 ? "" : "s",
                    total, exempt ? text::kWordExempt : "");
}

std::string Header(const std::string& source) {
  return FormatText(text::kFmtDropHeader, source.c_str());
}

// The summary block of a source without drop lines, as the log stores it.
std::string Block(const std::string& source, const std::string& lines) {
  return Header(source) + lines + "\r\n";
}

std::string Bytes(const ts_test::Packet& packet) { return {packet.begin(), packet.end()}; }

std::string Bytes(const std::vector<ts_test::Packet>& packets) {
  std::string bytes;
  for (const auto& packet : packets) bytes += Bytes(packet);
  return bytes;
}

// Bytes of a fixed pseudo-random sequence without any 0x47.
std::string NoiseBytes(std::size_t count, std::uint32_t seed) {
  std::minstd_rand random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) {
    auto value = static_cast<std::uint8_t>(random() >> 8);
    c = static_cast<char>(value == 0x47 ? 0x46 : value);
  }
  return bytes;
}

// What one row expects. The program always runs in the row's folder.
struct Expected {
  std::vector<std::string> args;
  testing::ProcessOptions options;
  std::optional<std::string> console;  // exact standard output; none: see consoleIsLog
  std::string err;                     // exact standard error
  bool consoleIsLog = false;           // output = "\n" + log (runs with unknown counts)
  int exitCode = 0;
  std::string logPath;                 // the log to look at, if any
  std::optional<std::string> log;      // its exact bytes; none: it must not exist
  // Where the sanitizer of a sanitizer build writes its notes for this run;
  // each note may only say that an allocation was refused.
  std::string sanitizerNotes;
  std::string skip;                    // why the row cannot run here
};

// A clean run of one file source with -noprogress: one summary block, logged
// next to the file.
Expected CleanRun(const std::string& source, const std::string& lines,
                  int drops = 0) {
  Expected e;
  e.args = {"-noprogress", source};
  const std::string block = Block(source, lines);
  e.console = "\n" + block + Closing(drops);
  e.exitCode = drops;
  const std::filesystem::path path(source);
  e.logPath = (path.parent_path() / path.stem()).string() + ".kestrun.log";
  e.log = block + Closing(drops);
  return e;
}

Expected Refused(const TempDir& dir, const std::string& source) {
  Expected e;
  e.args = {"-noprogress", source};
  e.console = FormatText(text::kMsgNotTransportStream, source.c_str()) + Closing(0);
  e.logPath = dir.File("x.kestrun.log");  // nothing is logged before a log target exists
  return e;
}

// ------------------------------------------------------------ refused sources

Expected EmptyFile(const TempDir& dir) { return Refused(dir, dir.Write("x.ts", "")); }

// The probe wants more than 384 bytes: two packets and a bit are not enough.
Expected File384Bytes(const TempDir& dir) {
  return Refused(dir, dir.Write("x.ts", CleanPackets(0x100, 2) + std::string(8, '\x47')));
}

Expected File385Bytes(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", CleanPackets(0x100, 2) + std::string(9, '\x47'));
  return CleanRun(source, Summary(0x100, 1, 0, 2));
}

Expected Directory(const TempDir& dir) {
  const std::string source = dir.File("x.ts");
  std::filesystem::create_directory(source);
  return Refused(dir, source);
}

Expected UnreadableFile(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", CleanPackets(0x100, 4));
  chmod(source.c_str(), 0);
  Expected e = Refused(dir, source);
  if (RunningAsRoot()) e.skip = "running as root: permission bits do not stop reading";
  return e;
}

Expected RandomBytes(const TempDir& dir) {
  return Refused(dir, dir.Write("x.ts", NoiseBytes(100000, 7)));
}

// ------------------------------------------------------------ odd streams

// Two good packets pass the probe; after them the reader hunts through noise
// salted with sync bytes. The counts depend on the noise; the promises do not.
Expected RandomBytesBehindAGoodStart(const TempDir& dir) {
  std::string noise = NoiseBytes(200000, 11);
  std::minstd_rand random(5);
  for (int i = 0; i < 3000; ++i) noise[random() % noise.size()] = '\x47';
  Expected e;
  const std::string source = dir.Write("x.ts", CleanPackets(0x100, 2) + noise);
  e.args = {"-noprogress", source};
  e.consoleIsLog = true;
  e.logPath = dir.File("x.kestrun.log");
  return e;
}

// Every 188 bytes a sync byte: PID 0x0747, counter 7 in every packet.
Expected AllSyncBytes(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", std::string(100000, '\x47'));
  return CleanRun(source, Summary(0x0747, 7, 530, 531), 530);
}

Expected TruncatedLastPacket(const TempDir& dir) {
  const std::string source =
      dir.Write("x.ts", CleanPackets(0x100, 10) + testing::Packet(0x100, 10).substr(0, 100));
  return CleanRun(source, Summary(0x100, 9, 0, 10));
}

Expected FramingSwitches(const TempDir& dir) {
  std::string stream = PacketsWithCc(0x100, {0, 1, 2, 3, 4});
  for (int cc = 5; cc < 10; ++cc) stream += "\x01\x02\x03\x04" + testing::Packet(0x100, cc);
  stream += PacketsWithCc(0x100, {10, 11, 12, 13, 14});
  return CleanRun(dir.Write("x.ts", stream), Summary(0x100, 14, 0, 15));
}

Expected AdaptationLength255(const TempDir& dir) {
  ts_test::PacketFields f;
  f.cc = 3;
  f.adaptationControl = 3;
  f.adaptationLength = 255;
  f.unitStart = true;
  const std::string stream =
      PacketsWithCc(0x100, {0, 1, 2}) + Bytes(ts_test::MakePacket(f)) + PacketsWithCc(0x100, {4, 5});
  return CleanRun(dir.Write("x.ts", stream), Summary(0x100, 5, 0, 6));
}

// A PAT whose section would start past the end of its packet: ignored, so
// its program's PMT is never read and the PCR PID stays checked.
Expected PointerField255(const TempDir& dir) {
  const auto pat = ts_test::SectionPackets(0, ts_test::PatSection({{1, 0x1F0}}), 0, 255);
  const auto pmt = ts_test::SectionPackets(0x1F0, ts_test::PmtSection(1, 0x100));
  const std::string stream = Bytes(pat) + Bytes(pmt) + PacketsWithCc(0x100, {0, 1, 3});
  return CleanRun(dir.Write("x.ts", stream),
                  Summary(0, 0, 0, 1) + Summary(0x1F0, 0, 0, 1) + Summary(0x100, 3, 1, 3), 1);
}

// A PAT section of the largest length, spread over 23 packets, with a CRC
// that cannot match: collected to its end and dropped.
Expected SectionLength4095(const TempDir& dir) {
  ts_test::Bytes section{0x00, 0xBF, 0xFF};
  section.resize(4098, 0x00);
  const auto pat = ts_test::SectionPackets(0, section);
  const std::string stream = Bytes(pat) + PacketsWithCc(0x100, {0, 1, 2});
  return CleanRun(dir.Write("x.ts", stream),
                  Summary(0, static_cast<int>((pat.size() - 1) % 16), 0,
                          static_cast<long long>(pat.size())) +
                      Summary(0x100, 2, 0, 3));
}

// Nine programs, each PMT naming its own PCR PID. The list holds eight: the
// ninth PCR PID stays checked, and its drop is reported and counted.
Expected NinePcrPids(const TempDir& dir) {
  std::vector<ts_test::Program> programs;
  for (std::uint16_t k = 0; k < 9; ++k) programs.push_back({std::uint16_t(k + 1), std::uint16_t(0x1000 + k)});
  std::string stream = Bytes(ts_test::SectionPackets(0, ts_test::PatSection(programs)));
  for (std::uint16_t k = 0; k < 9; ++k) {
    stream += Bytes(ts_test::SectionPackets(0x1000 + k, ts_test::PmtSection(k + 1, 0x0101 + k)));
  }
  const std::size_t dropAt = stream.size() + 8 * 3 * 188 + 2 * 188;
  for (std::uint16_t k = 0; k < 9; ++k) stream += PacketsWithCc(0x0101 + k, {0, 1, 3});
  const std::string source = dir.Write("x.ts", stream);

  std::string lines = Summary(0, 0, 0, 1);
  for (int k = 0; k < 9; ++k) lines += Summary(0x1000 + k, 0, 0, 1);
  for (int k = 0; k < 8; ++k) lines += Summary(0x0101 + k, 0, 0, 0, true);
  lines += Summary(0x0109, 3, 1, 3);
  // Play time, no broadcast time (and no separator for it), file offset.
  const std::string dropLine =
      FormatText(text::kFmtDropLine, 0x0109, 1LL, "PCR 0:00:00.000", "", "", text::kFieldSeparator,
                 FormatText(text::kFmtOffset, static_cast<long long>(dropAt)).c_str());
  // The drop line comes first and brings the header; the summary follows
  // after the console's line break with an empty line in place of one.
  Expected e = CleanRun(source, lines, 1);
  const std::string summary = FormatText(text::kFmtEmptyLine, "") + lines + "\r\n";
  e.console = Header(source) + dropLine + "\n" + summary + Closing(1);
  e.log = Header(source) + dropLine + summary + Closing(1);
  return e;
}

// ------------------------------------------------------------ options

Expected HugeBufsize(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", CleanPackets(0x100, 5));
  Expected e = CleanRun(source, Summary(0x100, 4, 0, 5));
  e.args = {"-noprogress", "-bufsize", "4294967295", source};
  return e;
}

// The 2 GiB block cannot be had: each job says so and ends with nothing to
// summarise; the next job (here the same file again) tries anew.
Expected HugeBufsizeWithoutMemory(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", CleanPackets(0x100, 5));
  Expected e;
  e.args = {"-noprogress", "-bufsize", "4294967295", source, source};
  if (*kSanitizerOptions != '\0') {
    // The sanitizers reserve far more address space than any limit would
    // leave; their allocator is told to refuse large blocks instead, and it
    // notes each refusal.
    const char* inherited = std::getenv(kSanitizerOptions);
    e.sanitizerNotes = dir.File("sanitizer");
    e.options.env.emplace_back(kSanitizerOptions,
                               std::string(inherited ? inherited : "") +
                                   ":allocator_may_return_null=1:max_allocation_size_mb=1024" +
                                   ":log_path=" + e.sanitizerNotes);
  } else {
    e.options.env.emplace_back("KESTRUN_ADDRESS_LIMIT_KB", "1048576");
  }
  const std::string failed = FormatText(text::kMsgReadBufferFailed, kLargestBufsize, source.c_str());
  e.console = failed + "\n" + failed + "\n" + Closing(0);
  e.logPath = dir.File("x.kestrun.log");
  e.log = failed + failed + Closing(0);
  return e;
}

// ------------------------------------------------------------ log files

// The job's first message that cannot reach the log (the DROP header behind
// the summary's opening line break) is followed by the notice.
void ExpectLogNotice(Expected& e, const std::string& log) {
  const std::string notice = FormatText(text::kMsgLogNotWritable, log.c_str());
  e.console->insert(e.console->find('\n', 1) + 1, notice);
  e.err = notice;
}

Expected LogInMissingFolder(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", CleanPackets(0x100, 3));
  Expected e = CleanRun(source, Summary(0x100, 2, 0, 3));
  const std::string log = dir.File("missing/sub/run.log");
  e.args = {"-noprogress", "-logpath", log, source};
  ExpectLogNotice(e, log);
  e.logPath = dir.File("missing");  // no folder is made on the way
  e.log.reset();
  return e;
}

// Two jobs: one notice each, none for the closing line.
Expected LogPathIsAFolder(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", CleanPackets(0x100, 3));
  Expected e = CleanRun(source, Summary(0x100, 2, 0, 3));
  const std::string folder = dir.File("logs");
  std::filesystem::create_directory(folder);
  e.args = {"-noprogress", "-logpath", folder, source, source};
  ExpectLogNotice(e, folder);
  const std::string job = e.console->substr(0, e.console->size() - Closing(0).size());
  e.console = job + job + Closing(0);
  e.err += e.err;
  e.logPath.clear();
  return e;
}

// Root writes through the missing write permission; then the log simply
// grows as usual.
Expected ReadOnlyLog(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", CleanPackets(0x100, 3));
  Expected e = CleanRun(source, Summary(0x100, 2, 0, 3));
  e.logPath = dir.Write("run.log", "old\n");
  chmod(e.logPath.c_str(), 0444);
  e.args = {"-noprogress", "-logpath", e.logPath, source};
  if (!RunningAsRoot()) ExpectLogNotice(e, e.logPath);
  e.log = RunningAsRoot() ? "old\n" + *e.log : "old\n";
  return e;
}

// ------------------------------------------------------------ paths

// Over 1000 bytes in five folders of 200-byte names: no cut at 259 bytes.
Expected VeryLongPath(const TempDir& dir) {
  std::string name;
  for (char c = 'a'; c < 'f'; ++c) name += std::string(200, c) + "/";
  std::filesystem::create_directories(dir.File(name));
  name += std::string(200, 'z') + ".ts";
  const std::string source = dir.Write(name, PacketsWithCc(0x100, {0, 2, 3}));
  return CleanRun(source, Summary(0x100, 3, 1, 3), 1);
}

// Longer than the system takes at all: the file cannot be there.
Expected PathLongerThanTheSystemTakes(const TempDir& dir) {
  std::string source = dir.path();
  for (int i = 0; i < 25; ++i) source += "/" + std::string(200, 'p');
  source += ".ts";
  Expected e;
  e.args = {"-noprogress", source};
  e.console = FormatText(text::kMsgFileMissing, source.c_str()) + Closing(0);
  return e;
}

// Messages name the file in CP932; the log beside it keeps the real name.
Expected Utf8Path(const TempDir& dir) {
  const std::string source = dir.Write("\xE9\x8C\xB2\xE7\x94\xBB \xE2\x91\xA0.ts", CleanPackets(0x100, 3));
  Expected e = CleanRun(source, Summary(0x100, 2, 0, 3));
  const std::string block = Block(dir.File("\x98\x5E\x89\xE6 \x87\x40.ts"), Summary(0x100, 2, 0, 3));
  e.console = "\n" + block + Closing(0);
  e.log = block + Closing(0);
  return e;
}

// Code page 932 bytes whose second byte is '\' (0x5C).
Expected Cp932Path(const TempDir& dir) {
  const std::string source = dir.Write("\x95\x5C\x83\x5C.ts", CleanPackets(0x100, 3));
  return CleanRun(source, Summary(0x100, 2, 0, 3));
}

// ------------------------------------------------------------ repetition

Expected SourceGivenTwice(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", PacketsWithCc(0x100, {0, 1, 3}));
  Expected e = CleanRun(source, Summary(0x100, 3, 1, 3), 1);
  const std::string block = Block(source, Summary(0x100, 3, 1, 3));
  e.args = {"-noprogress", source, source};
  e.console = "\n" + block + "\n" + block + Closing(2);
  e.exitCode = 2;
  e.log = block + block + Closing(2);
  return e;
}

Expected HundredPasses(const TempDir& dir) {
  const std::string source = dir.Write("x.ts", PacketsWithCc(0x100, {0, 1, 3}));
  Expected e = CleanRun(source, Summary(0x100, 3, 1, 3), 1);
  const std::string block = Block(source, Summary(0x100, 3, 1, 3));
  e.args = {"-noprogress", "-loop100", source};
  e.console = std::string();
  e.log = std::string();
  for (int pass = 0; pass < 100; ++pass) {
    *e.console += "\n" + block;
    *e.log += block;
  }
  *e.console += Closing(100);
  *e.log += Closing(100);
  e.exitCode = 100;
  return e;
}

struct BadInput {
  const char* name;
  Expected (*prepare)(const TempDir&);
};

// Test logs name the row, not its bytes.
void PrintTo(const BadInput& row, std::ostream* out) { *out << row.name; }

const BadInput kBadInputs[] = {
    {"EmptyFile", EmptyFile},
    {"File384Bytes", File384Bytes},
    {"File385Bytes", File385Bytes},
    {"Directory", Directory},
    {"UnreadableFile", UnreadableFile},
    {"RandomBytes", RandomBytes},
    {"RandomBytesBehindAGoodStart", RandomBytesBehindAGoodStart},
    {"AllSyncBytes", AllSyncBytes},
    {"TruncatedLastPacket", TruncatedLastPacket},
    {"FramingSwitches", FramingSwitches},
    {"AdaptationLength255", AdaptationLength255},
    {"PointerField255", PointerField255},
    {"SectionLength4095", SectionLength4095},
    {"NinePcrPids", NinePcrPids},
    {"HugeBufsize", HugeBufsize},
    {"HugeBufsizeWithoutMemory", HugeBufsizeWithoutMemory},
    {"LogInMissingFolder", LogInMissingFolder},
    {"LogPathIsAFolder", LogPathIsAFolder},
    {"ReadOnlyLog", ReadOnlyLog},
    {"VeryLongPath", VeryLongPath},
    {"PathLongerThanTheSystemTakes", PathLongerThanTheSystemTakes},
    {"Utf8Path", Utf8Path},
    {"Cp932Path", Cp932Path},
    {"SourceGivenTwice", SourceGivenTwice},
    {"HundredPasses", HundredPasses},
};

// The closing line's total, or -1 when the output does not end in one.
int ClosingTotal(const std::string& out) {
  const std::string prefix = Closing(0).substr(0, Closing(0).find('0'));
  const std::size_t at = out.rfind(prefix);
  if (at == std::string::npos) return -1;
  return std::atoi(out.c_str() + at + prefix.size());
}

// Lines of the sanitizer's notes (log_path writes one file per process)
// that say anything but that an allocation was refused.
std::string UnexpectedSanitizerNotes(const std::string& prefix) {
  std::string unexpected;
  const std::filesystem::path base(prefix);
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(base.parent_path(), ignored)) {
    if (entry.path().filename().string().rfind(base.filename().string(), 0) != 0) continue;
    std::istringstream notes(ReadFileBytes(entry.path().string()));
    for (std::string line; std::getline(notes, line);) {
      if (line.find("failed to allocate") == std::string::npos) unexpected += line + "\n";
    }
  }
  return unexpected;
}

// Runs the program, with an address-space limit when the row asks for one
// (the limit is applied by the shell that then becomes the program).
testing::ProcessResult RunKestrun(const TempDir& dir, Expected& e) {
  testing::ProcessOptions options = e.options;
  options.workingDirectory = dir.path();
  options.timeout = std::chrono::seconds(60);
  options.env.emplace_back("LC_ALL", "C");  // the CP932 bytes as they are
  std::vector<std::string> argv;
  for (auto it = options.env.begin(); it != options.env.end(); ++it) {
    if (it->first != "KESTRUN_ADDRESS_LIMIT_KB") continue;
    argv = {"/bin/sh", "-c", "ulimit -v " + it->second + " && exec \"$0\" \"$@\""};
    options.env.erase(it);
    break;
  }
  argv.push_back(KESTRUN_BIN);
  argv.insert(argv.end(), e.args.begin(), e.args.end());
  return testing::RunProcess(argv, options);
}

class BadInputRun : public ::testing::TestWithParam<BadInput> {
 protected:
  TempDir dir_;
};

TEST_P(BadInputRun, EndsAsDesigned) {
  Expected e = GetParam().prepare(dir_);
  if (!e.skip.empty()) GTEST_SKIP() << e.skip;
  const auto started = std::chrono::steady_clock::now();
  const auto result = RunKestrun(dir_, e);
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_FALSE(result.timedOut) << "still running after " << seconds << " s";
  EXPECT_EQ(result.termSignal, 0);
  // Standard error carries only the notices the row expects: no crash note,
  // no sanitizer report.
  EXPECT_EQ(result.err, e.err);
  if (!e.sanitizerNotes.empty()) {
    EXPECT_EQ(UnexpectedSanitizerNotes(e.sanitizerNotes), "");
  }
  if (e.consoleIsLog) {
    const int total = ClosingTotal(result.out);
    ASSERT_GE(total, 0) << ::testing::PrintToString(result.out.substr(0, 400));
    EXPECT_EQ(result.exitCode, std::min(total, 255));
    EXPECT_EQ("\n" + ReadFileBytes(e.logPath), result.out);
    return;
  }
  EXPECT_EQ(result.exitCode, std::min(e.exitCode, 255));
  EXPECT_EQ(result.out, *e.console);
  if (e.logPath.empty()) return;
  if (e.log) {
    EXPECT_EQ(ReadFileBytes(e.logPath), *e.log);
  } else {
    EXPECT_FALSE(FileExists(e.logPath));
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInputRun, ::testing::ValuesIn(kBadInputs),
                         [](const auto& info) { return std::string(info.param.name); });

// The log is not held open: deleted while the program waits for its next
// source, it is made anew by the next message and holds what came after.
// The second source is a FIFO, so the test decides when that job gets data.
TEST(BadInputLog, DeletedDuringARunIsRecreatedByTheNextMessage) {
  TempDir dir;
  const std::string first = dir.Write("a.ts", CleanPackets(0x100, 3));
  const std::string live = dir.File("live.ts");
  ASSERT_EQ(mkfifo(live.c_str(), 0600), 0);
  const std::string log = dir.File("a.kestrun.log");
  const std::string firstBlock = Block(first, Summary(0x100, 2, 0, 3));
  const std::string liveBlock = Block(live, Summary(0x200, 3, 1, 3));

  testing::ProcessResult result;
  std::thread program([&] {
    testing::ProcessOptions options;
    options.workingDirectory = dir.path();
    options.env.emplace_back("LC_ALL", "C");
    result = testing::RunProcess({KESTRUN_BIN, "-noprogress", first, live}, options);
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (ReadFileBytes(log) != firstBlock && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const bool deleted = ReadFileBytes(log) == firstBlock && std::filesystem::remove(log);
  // The program opens the FIFO as a reader within its pipe wait; until then
  // a non-blocking writer cannot open it.
  int fd = -1;
  while (fd < 0 && std::chrono::steady_clock::now() < deadline) {
    fd = open(live.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (fd >= 0) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const std::string stream = PacketsWithCc(0x200, {0, 1, 3});
    EXPECT_EQ(write(fd, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
    close(fd);
  }
  program.join();
  ASSERT_TRUE(deleted);
  ASSERT_GE(fd, 0) << "the program never opened the FIFO";
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "\n" + firstBlock + "\n" + liveBlock + Closing(1));
  EXPECT_EQ(ReadFileBytes(log), liveBlock + Closing(1));
}

}  // namespace
}  // namespace kestrun
