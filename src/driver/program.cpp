#include <functional>

#include "driver/command_line.h"
#include "driver/job.h"
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

namespace kestrun {
namespace {

void ShowUsageScreen(const ProgramContext& program) {
  const std::string exePath = platform::ExecutablePath();
  // The usage line embeds the program's own file name like a message.
  ShowUsage(platform::PathForMessage(program.programBaseName),
            platform::ReadVersionString(exePath, "CompanyName"),
            platform::ReadVersionString(exePath, "Comments"));
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
    total += static_cast<std::uint32_t>(RunJob(program));
    program.settings.logPath = savedLogPath;
    ConsoleFlags.store(savedConsoleFlags, std::memory_order_relaxed);
  }
}

std::int32_t RunPasses(ProgramContext& program) {
  std::uint32_t total = 0;
  if (program.sources.empty()) return 0;
  JobSettings& settings = program.settings;
  const std::int32_t firstLoopCount = settings.loopCount;
  for (;;) {
    RunPass(program, total);
    if (settings.loopCount > 0) --settings.loopCount;
    if (!settings.loopEnabled || AbortFlag.load(std::memory_order_relaxed) != 0) break;
    if (firstLoopCount > 0 && settings.loopCount <= 0) break;
  }
  return static_cast<std::int32_t>(total);
}

// Writes a report file; one that cannot be written is said on the console
// and changes nothing else of the run.
void SaveReportFile(const std::string& path, const char* failureMessage,
                    const std::function<void(const FileChunkSink&)>& produce) {
  if (path.empty()) return;
  if (!WriteFileAtomically(path, produce)) {
    ConsolePrint(failureMessage, platform::PathForMessage(path).c_str());
    ConsoleFlush();
  }
}

// Writes the run's reports: the JSON document, then the HTML page.
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

  std::uint32_t consoleFlags = ConsoleFlags.load(std::memory_order_relaxed);
  ParseCommandLine(argc, argv, program.settings, program.sources, consoleFlags);
  ConsoleFlags.store(consoleFlags, std::memory_order_relaxed);
  if (argc <= 1) {
    ShowUsageScreen(program);
    return 0;
  }

  if (!program.settings.jsonPath.empty() || !program.settings.htmlPath.empty()) {
    program.report.emplace();
    program.report->started = started;
  }
  Prompts(program.settings);
  const std::int32_t total = RunPasses(program);
  program.settings.durationText.reset();
  ExitCleanup(program);
  WriteMessage(text::kMsgClosing, total);
  ConsoleFlush();
  const int exitStatus = platform::ExitStatusFor(total);
  if (program.report) SaveRunReport(program, total, exitStatus);
  return exitStatus;
}

}  // namespace kestrun
