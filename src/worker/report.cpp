#include "worker/report.h"

#include <limits>

#include "platform/platform.h"
#include "support/catalog.h"
#include "support/format_text.h"

namespace kestrun {
namespace {

const char* SeparatorIf(bool wanted) { return wanted ? text::kFieldSeparator : ""; }

// floor(10 * value / divisor) for 0 <= value < divisor, and the remainder,
// by repeated addition so that no product can overflow for any 64-bit size.
int NextDigit(std::uint64_t& value, std::uint64_t divisor) {
  std::uint64_t remainder = 0;
  int digit = 0;
  for (int k = 0; k < 10; ++k) {
    remainder += value;  // both below divisor < 2^63: no wrap
    if (remainder >= divisor) {
      remainder -= divisor;
      ++digit;
    }
  }
  value = remainder;
  return digit;
}

}  // namespace

std::string PlayTimeText(std::uint64_t hours, std::uint16_t minutes, std::uint16_t seconds,
                         std::uint16_t milliseconds) {
  // Play time cannot come near 2^31 hours; clamping only keeps the
  // conversion defined.
  constexpr std::uint64_t kMaxHours = std::numeric_limits<int>::max();
  const int shownHours = static_cast<int>(hours < kMaxHours ? hours : kMaxHours);
  return FormatText(text::kFmtPlayTime, shownHours, int{minutes}, int{seconds},
                    int{milliseconds});
}

std::string PlayTimeText(const ClockTime& time) {
  return PlayTimeText(time.hours, time.minutes, time.seconds, time.milliseconds);
}

std::string TotText(const SystemTime& totLocalTime, std::int64_t totSeconds) {
  if (totSeconds <= 0) return {};
  return FormatText(text::kFmtTotTime, int{totLocalTime.year}, int{totLocalTime.month},
                    int{totLocalTime.day}, int{totLocalTime.hour}, int{totLocalTime.minute},
                    int{totLocalTime.second});
}

std::string OffsetText(std::int64_t offset) {
  return FormatText(text::kFmtOffset, static_cast<unsigned long long>(offset));
}

int PercentOf(std::int64_t offset, std::int64_t fileSize) {
  if (fileSize <= 0 || offset <= 0) return 0;
  if (offset >= fileSize) return 100;  // a file that grew while it was read
  std::uint64_t rest = static_cast<std::uint64_t>(offset);
  const int tens = NextDigit(rest, static_cast<std::uint64_t>(fileSize));
  return tens * 10 + NextDigit(rest, static_cast<std::uint64_t>(fileSize));
}

std::string PercentText(std::int64_t offset, std::int64_t fileSize) {
  return FormatText(text::kFmtPercent, PercentOf(offset, fileSize));
}

std::string ProgressLineText(const std::string& percent, const std::string& play,
                             const std::string& tot, const std::string& offset) {
  const bool afterPercent = !play.empty() || !tot.empty() || !offset.empty();
  const bool afterPlay = !tot.empty() || !offset.empty();
  return FormatText(text::kFmtProgressLine, percent.c_str(),
                    SeparatorIf(!percent.empty() && afterPercent), play.c_str(),
                    SeparatorIf(!play.empty() && afterPlay), tot.c_str(),
                    SeparatorIf(!tot.empty() && !offset.empty()), offset.c_str());
}

std::string ProgressLineText(const FieldTexts& fields) {
  return ProgressLineText(fields.percent, fields.playTime, fields.tot, fields.offset);
}

std::string DropLineText(std::uint16_t pid, std::int64_t dropCount, const std::string& play,
                         const std::string& tot, const std::string& offset) {
  const bool afterPlay = !tot.empty() || !offset.empty();
  return FormatText(text::kFmtDropLine, unsigned{pid}, static_cast<long long>(dropCount),
                    play.c_str(), SeparatorIf(!play.empty() && afterPlay), tot.c_str(),
                    SeparatorIf(!tot.empty() && !offset.empty()), offset.c_str());
}

std::string DropLineText(std::uint16_t pid, std::int64_t dropCount, const FieldTexts& fields) {
  return DropLineText(pid, dropCount, fields.playTime, fields.tot, fields.offset);
}

std::string DropHeaderText(const std::string& sourcePath) {
  return FormatText(text::kFmtDropHeader, platform::PathForMessage(sourcePath).c_str());
}

std::string PidSummaryLineText(std::uint16_t pid, std::uint8_t lastCc, std::int64_t dropCount,
                               std::int64_t totalCount, bool exempt) {
  const bool plural = dropCount != 0 && dropCount != 1;
  return FormatText(text::kFmtPidSummary, unsigned{pid}, unsigned{lastCc},
                    static_cast<long long>(dropCount), plural ? text::kWordPlural : "",
                    static_cast<long long>(totalCount), exempt ? text::kWordExempt : "");
}

std::string WrapHeaderText(const std::string& sourcePath) {
  return FormatText(text::kFmtWrapHeader, platform::PathForMessage(sourcePath).c_str());
}

std::string WrapDateText(const SystemTime& t) {
  return FormatText(text::kFmtWrapDate, int{t.year}, int{t.month}, int{t.day}, int{t.hour},
                    int{t.minute}, int{t.second});
}

std::string EmptyLineText() { return FormatText(text::kFmtEmptyLine, ""); }

std::string WrapAroundLineText(const SystemTime& t) {
  return FormatText(text::kFmtWrapLine, int{t.year}, int{t.month}, int{t.day}, int{t.hour},
                    int{t.minute}, int{t.second});
}

}  // namespace kestrun
