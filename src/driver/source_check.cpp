#include "driver/source_check.h"

#include "output/message.h"
#include "platform/platform.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "support/ts_probe.h"
#include "tuner/tuner_source.h"
#include "worker/source.h"

namespace kestrun {
namespace {

// Standard input as the worker takes it: a file whose name merely begins
// with CON (CONCERT.ts) gets the existence and TS checks and a log of its
// own.
bool IsStdInOrPipe(const std::string& source) {
  return NamesStdIn(source) || StartsWith(source, kPipePrefix);
}

bool CheckFile(ProgramContext& program, const std::string& path, SourceRefusal& refusal) {
  if (!platform::PathExists(path)) {
    WriteMessage(text::kMsgFileMissing, platform::PathForMessage(path).c_str());
    refusal = SourceRefusal::FileMissing;
    return false;
  }
  if (platform::IsFifoPath(path)) return true;  // read as a pipe, never probed
  if (ProbeTsFile(path) == 0) {
    WriteMessage(text::kMsgNotTransportStream, platform::PathForMessage(path).c_str());
    refusal = SourceRefusal::NotTransportStream;
    return false;
  }
  JobSettings& settings = program.settings;
  if (settings.logEnabled && settings.logPath.empty()) {
    const platform::PathParts parts = platform::SplitPath(path);
    settings.logPath = FormatText(text::kFmtLogName, parts.drive.c_str(), parts.folder.c_str(),
                                  parts.name.c_str(), program.programBaseName.c_str());
  }
  return true;
}

SourceRefusal RefusalOf(TunerSourceIssue issue) {
  switch (issue) {
    case TunerSourceIssue::NoSpace: return SourceRefusal::TunerSpaceMissing;
    case TunerSourceIssue::NoChannel: return SourceRefusal::TunerChannelMissing;
    case TunerSourceIssue::NoDriver: return SourceRefusal::TunerDriverMissing;
    case TunerSourceIssue::None: break;
  }
  return SourceRefusal::None;
}

}  // namespace

bool CheckSource(ProgramContext& program, const std::string& source, SourceRefusal& refusal) {
  refusal = SourceRefusal::None;
  if (IsStdInOrPipe(source)) return true;
  if (StartsWith(source, kTunerPrefix)) {
    TunerSourceIssue issue = TunerSourceIssue::None;
    const bool refused = ReportTunerSourceIssue(source, &issue);
    refusal = RefusalOf(issue);
    return !refused;
  }
  return CheckFile(program, source, refusal);
}

void ChooseLogTarget(JobSettings& settings) {
  // Without a log path the previous job's target stays in force.
  if (settings.logPath.empty()) return;
  if (ProbeTsFile(settings.logPath) != 0) {
    WriteMessage(text::kMsgLogIsTransportStream,
                 platform::PathForMessage(settings.logPath).c_str());
    settings.logPath.clear();
    settings.logEnabled = false;
  }
  SetLogTarget(settings.logPath, settings.logEnabled ? kLogAppend : 0);
}

}  // namespace kestrun
