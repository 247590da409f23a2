#include "tuner/tuner_source.h"

#include <limits>

#include "output/message.h"
#include "platform/platform.h"
#include "support/catalog.h"

namespace kestrun {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string_view CutAtSemicolon(std::string_view source) {
  const std::size_t cut = platform::FindAnsiChar(source, ';');
  return cut == std::string_view::npos ? source : source.substr(0, cut);
}

bool IsTunerSource(std::string_view source) {
  return CutAtSemicolon(source).starts_with(kTunerSourcePrefix);
}

std::optional<TunerSourceParts> SplitTunerSource(std::string_view source) {
  if (!IsTunerSource(source)) return std::nullopt;
  std::string_view rest = CutAtSemicolon(source).substr(kTunerSourcePrefix.size());
  TunerSourceParts parts;
  // The second byte of a double-byte character may be 0x5C: the separator
  // search steps over whole characters.
  std::size_t slash = platform::FindAnsiChar(rest, '\\');
  parts.space = std::string(rest.substr(0, slash));
  if (slash == std::string_view::npos) return parts;
  rest.remove_prefix(slash + 1);
  slash = platform::FindAnsiChar(rest, '\\');
  parts.channel = std::string(rest.substr(0, slash));
  if (slash == std::string_view::npos) return parts;
  parts.driverPath = std::string(rest.substr(slash + 1));
  return parts;
}

TunerSourceIssue CheckTunerSource(std::string_view source) {
  const std::optional<TunerSourceParts> parts = SplitTunerSource(source);
  if (!parts) return TunerSourceIssue::None;
  if (parts->space.empty()) return TunerSourceIssue::NoSpace;
  if (!parts->channel || parts->channel->empty()) return TunerSourceIssue::NoChannel;
  if (!parts->driverPath || parts->driverPath->empty() ||
      !platform::PathExists(*parts->driverPath)) {
    return TunerSourceIssue::NoDriver;
  }
  return TunerSourceIssue::None;
}

const char* TunerSourceIssueText(TunerSourceIssue issue) {
  switch (issue) {
    case TunerSourceIssue::NoSpace:
      return text::kMsgTunerNoSpace;
    case TunerSourceIssue::NoChannel:
      return text::kMsgTunerNoChannel;
    case TunerSourceIssue::NoDriver:
      return text::kMsgTunerNoDriver;
    case TunerSourceIssue::None:
      break;
  }
  return nullptr;
}

bool ReportTunerSourceIssue(std::string_view source, TunerSourceIssue* issue) {
  const TunerSourceIssue found = CheckTunerSource(source);
  if (issue != nullptr) *issue = found;
  const char* format = TunerSourceIssueText(found);
  if (format == nullptr) return false;
  WriteMessage(format, platform::PathForMessage(CutAtSemicolon(source)).c_str());
  return true;
}

std::uint32_t ParseTunerNumber(std::string_view text) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  std::size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  std::int64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    // Saturating as soon as the value leaves the 32-bit range keeps the sum small.
    if (magnitude <= kMax + 1) magnitude = magnitude * 10 + (text[at] - '0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  const std::int64_t clamped = value > kMax ? kMax : (value < kMin ? kMin : value);
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(clamped));
}

}  // namespace kestrun
