#include "driver/usage.h"

#include "output/console.h"
#include "platform/platform.h"
#include "support/catalog.h"
#include "support/program_version.h"

namespace kestrun {
namespace {

// The options that do something beyond the three of the screen's first part,
// one catalog text each: the option line and its explanation.
constexpr const char* kMoreOptions[] = {
    text::kUsageBufsize,     text::kUsageDuration, text::kUsageWraparound,
    text::kUsageNoprogress,  text::kUsageLoop,     text::kUsagePid,
    text::kUsagePause,       text::kUsageJsonpath, text::kUsageMetricspath,
    text::kUsageInterval,    text::kUsageFollow,   text::kUsageFollowtime,
    text::kUsageIsocc,       text::kUsageHtmlpath,
    text::kUsageHelp,        text::kUsageVersionOption,
};

}  // namespace

void ShowUsage(const std::string& programBaseName, const std::optional<std::string>& companyName,
               const std::optional<std::string>& comments) {
  ConsoleText(text::kUsageArgs);
  ConsolePrint(platform::UsageSyntaxFormat(), programBaseName.c_str());
  ConsoleText(text::kUsageDescription);
  ConsoleText(text::kUsagePurpose);
  ConsoleText(text::kUsageSrcpath);
  ConsoleText(text::kUsageNolog);
  ConsoleText(text::kUsageNologText);
  ConsoleText(text::kUsageLogpath);
  ConsoleText(text::kUsageLogpathText);
  ConsoleText(text::kUsageLogpathNolog);
  ConsoleText(text::kUsageLogpathTs);
  if (companyName || comments) {
    ConsoleText(text::kUsageContact);
    if (companyName) ConsolePrint(text::kUsageContactItem, companyName->c_str());
    if (comments) ConsolePrint(text::kUsageContactItem, comments->c_str());
  }
  ConsoleText(text::kUsageMoreOptions);
  for (const char* option : kMoreOptions) ConsoleText(option);
  ConsoleText(text::kUsageVersion);
  ConsolePrint(text::kUsageVersionItem, programBaseName.c_str(), ProgramVersion());
}

void ShowVersion(const std::string& programBaseName) {
  ConsolePrint(text::kFmtVersion, programBaseName.c_str(), ProgramVersion());
}

}  // namespace kestrun
