#include <functional>

#include "driver/command_line.h"
#include "driver/job.h"
#include "driver/live_reporter.h"
#include "driver/startup.h"
#include "driver/usage.h"
#include "output/console.h"
#include "output/message.h"
#include "output/report_file.h"
#include "platform/platform.h"
#include "report/run_report_html.h"
#include "report/run_report_json.h"
#include "support/catalog.h"
#include "support/run_flags.h"
#include "support/ts_probe.h"

namespace kestrun {
namespace {

void ShowUsageScreen(const ProgramContext& program) {
  const std::string exePath = platform::ExecutablePath();
  // The usage line embeds the program's own file name like a message.
  ShowUsage(platform::PathForMessage(program.programBaseName),
            platform::ReadVersionString(exePath, "CompanyName"),
            platform::ReadVersionString(exePath, "Comments"));
}

// The run's report paths; each one that is "-" takes standard output.
bool ReportsToStandardOutput(const JobSettings& settings) {
  for (const std::string* path : {&settings.jsonPath, &settings.metricsPath, &settings.htmlPath}) {
    if (IsStandardOutputPath(*path)) return true;
  }
  return false;
}

// Where the console text of the run goes and whether it can show a progress
// line; decided before the first line of the run is written.
void ChooseConsole(const JobSettings& settings, std::uint32_t& consoleFlags) {
  if (ReportsToStandardOutput(settings)) platform::MoveConsoleToStandardError();
  if (!platform::ConsoleShowsProgress()) consoleFlags |= kConsoleNotTerminal;
}

// A report path that names a recording (-jsonpath rec.ts, its file name
// forgotten) would replace it: such a report is not written, as the log is
// not written into a TS file.
void KeepReportsOffRecordings(JobSettings& settings) {
  for (std::string* path : {&settings.jsonPath, &settings.metricsPath, &settings.htmlPath}) {
    if (IsStandardOutputPath(*path) || ProbeTsFile(*path) == 0) continue;
    CommandLineNotice(FormatText(text::kMsgReportIsTransportStream, platform::PathForMessage(*path).c_str()));
    path->clear();
  }
}

// The options and sources, the console chosen for them, then a notice for
// each option word that matched nothing and for each report path refused.
void ReadCommandLine(int argc, char** argv, ProgramContext& program) {
  std::uint32_t consoleFlags = ConsoleFlags.load(std::memory_order_relaxed);
  std::vector<std::string> unknownWords;
  ParseCommandLine(argc, argv, program.settings, program.sources, consoleFlags,
                   &platform::IsOptionPrefix, &unknownWords);
  ChooseConsole(program.settings, consoleFlags);
  ConsoleFlags.store(consoleFlags, std::memory_order_relaxed);
  for (const std::string& word : unknownWords) {
    CommandLineNotice(FormatText(text::kMsgUnknownOption, platform::PathForMessage(word).c_str()));
  }
  KeepReportsOffRecordings(program.settings);
}

void Prompts(const JobSettings& settings) {
  if (settings.printProcessId) {
    ConsolePrint(text::kMsgProcessId, platform::ProcessId());
    ConsoleFlush();
    LineStartFlag.store(true, std::memory_order_relaxed);
  }
  if (settings.pauseAtStart) {
    ConsoleText(text::kMsgPressAnyKey);
    ConsoleFlush();
    LineStartFlag.store(true, std::memory_order_relaxed);
    // A stop requested meanwhile (Ctrl+C from the same terminal) ends the wait.
    platform::ReadKeyNoEcho(StopRequested);
  }
}

// One pass over the source list; the job totals add up as 32-bit integers.
void RunPass(ProgramContext& program, std::uint32_t& total) {
  for (const std::string& entry : program.sources) {
    if (AbortFlag.load(std::memory_order_relaxed) != 0) return;
    const std::string savedLogPath = program.settings.logPath;
    const std::uint32_t savedConsoleFlags = ConsoleFlags.load(std::memory_order_relaxed);
    program.currentSource = entry;
    DropHeaderPending.store(true, std::memory_order_relaxed);
    BeginJobLog();
    total += static_cast<std::uint32_t>(RunJob(program));
    program.settings.logPath = savedLogPath;
    ConsoleFlags.store(savedConsoleFlags, std::memory_order_relaxed);
  }
}

// A pass in which no source gave a byte (all missing, refused or empty)
// would be repeated at once, thousands of times a second; the next one
// waits a while, and a stop ends the wait within a slice.
void PauseAfterIdlePass() {
  constexpr unsigned kIdlePassPauseMs = 1000;
  constexpr unsigned kSliceMs = 50;
  for (unsigned waited = 0; waited < kIdlePassPauseMs && !StopRequested(); waited += kSliceMs) {
    platform::SleepMs(kSliceMs);
  }
}

std::int32_t RunPasses(ProgramContext& program) {
  std::uint32_t total = 0;
  if (program.sources.empty()) return 0;
  JobSettings& settings = program.settings;
  const std::int32_t firstLoopCount = settings.loopCount;
  for (;;) {
    program.passBytesRead = 0;
    RunPass(program, total);
    if (settings.loopCount > 0) --settings.loopCount;
    if (!settings.loopEnabled || AbortFlag.load(std::memory_order_relaxed) != 0) break;
    if (firstLoopCount > 0 && settings.loopCount <= 0) break;
    if (program.passBytesRead == 0) PauseAfterIdlePass();
  }
  return static_cast<std::int32_t>(total);
}

// Writes a report file; one that cannot be written is said on the console
// and changes nothing else of the run.
void SaveReportFile(const std::string& path, const char* failureMessage,
                    const std::function<void(const FileChunkSink&)>& produce) {
  if (path.empty()) return;
  if (!WriteReportFile(path, produce)) {
    ConsolePrint(failureMessage, platform::PathForMessage(path).c_str());
    ConsoleFlush();
  }
}

// Writes the run's report, metrics and HTML files for the last time.
void SaveRunReport(ProgramContext& program, std::int32_t total, int exitStatus) {
  RunReport& report = *program.report;
  report.ended = platform::CalendarSeconds();
  report.dropTotal = total;
  report.exitCode = exitStatus;
  report.countingRule = program.settings.countingRule;
  const std::string& name = program.programBaseName;
  SaveReportFile(program.settings.jsonPath, text::kMsgJsonReportFailed, [&](const FileChunkSink& sink) {
    WriteRunReport(report, name, [&sink](std::string_view piece) { sink(piece); });
  });
  SaveReportFile(program.settings.metricsPath, text::kMsgMetricsFailed,
                 [&](const FileChunkSink& sink) { sink(FormatRunMetrics(report)); });
  SaveReportFile(program.settings.htmlPath, text::kMsgHtmlReportFailed, [&](const FileChunkSink& sink) {
    WriteRunReportHtml(report, name, [&sink](std::string_view piece) { sink(piece); });
  });
}

}  // namespace

int RunProgram(int argc, char** argv) {
  const std::int64_t started = platform::CalendarSeconds();
  platform::InitPlatform();
  ConsoleFlags.store(kConsoleOn, std::memory_order_relaxed);
  SetLogTarget("", 0);

  ProgramContext program;
  InitApplication(program);
  platform::AllocConsoleIfNeeded();
  platform::InstallConsoleControlHandler(ConsoleControlHandler);

  const InfoRequest request = argc <= 1 ? InfoRequest::Usage : FindInfoRequest(argc, argv);
  if (request == InfoRequest::Usage) {
    ShowUsageScreen(program);
    return 0;
  }
  if (request == InfoRequest::Version) {
    ShowVersion(platform::PathForMessage(program.programBaseName));
    return 0;
  }
  ReadCommandLine(argc, argv, program);

  std::unique_ptr<LiveReporter> live;
  const JobSettings& settings = program.settings;
  if (!settings.jsonPath.empty() || !settings.metricsPath.empty() || !settings.htmlPath.empty()) {
    program.report.emplace();
    program.report->started = started;
    program.report->countingRule = settings.countingRule;
    live = std::make_unique<LiveReporter>(*program.report, program.settings, program.programBaseName);
    program.live = live.get();
    // The page is drawn once, at the end; only the other two are rewritten
    // during the run.
    if (!settings.jsonPath.empty() || !settings.metricsPath.empty()) live->Start();
  }
  Prompts(program.settings);
  const std::int32_t total = RunPasses(program);
  if (live) live->Stop();
  program.settings.durationText.reset();
  ExitCleanup(program);
  WriteMessage(text::kMsgClosing, total);
  ConsoleFlush();
  const int exitStatus = platform::ExitStatusFor(total);
  if (program.report) SaveRunReport(program, total, exitStatus);
  return exitStatus;
}

}  // namespace kestrun
