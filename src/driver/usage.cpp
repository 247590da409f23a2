#include "driver/usage.h"

#include "output/console.h"
#include "support/catalog.h"

namespace kestrun {

void ShowUsage(const std::string& programBaseName, const std::optional<std::string>& companyName,
               const std::optional<std::string>& comments) {
  ConsoleText(text::kUsageArgs);
  ConsolePrint(text::kUsageSyntax, programBaseName.c_str());
  ConsoleText(text::kUsageDescription);
  ConsoleText(text::kUsagePurpose);
  ConsoleText(text::kUsageSrcpath);
  ConsoleText(text::kUsageNolog);
  ConsoleText(text::kUsageNologText);
  ConsoleText(text::kUsageLogpath);
  ConsoleText(text::kUsageLogpathText);
  ConsoleText(text::kUsageLogpathNolog);
  ConsoleText(text::kUsageLogpathTs);
  if (!companyName && !comments) return;
  ConsoleText(text::kUsageContact);
  if (companyName) ConsolePrint(text::kUsageContactItem, companyName->c_str());
  if (comments) ConsolePrint(text::kUsageContactItem, comments->c_str());
}

}  // namespace kestrun
