// The texts of the drop report, the progress line and the summary block.
// Builders only: the worker and the job runner decide when to print them and
// through which path (console only, or console and log).
#pragma once

#include <cstdint>
#include <string>

#include "support/system_time.h"
#include "ts/clock.h"

namespace kestrun {

// Field texts of the drop and progress lines; each may be empty, and an
// empty field takes its separators with it.

struct FieldTexts {
  std::string percent;   // files only
  std::string playTime;
  std::string tot;
  std::string offset;    // files only
};

// Play time of the selected clock, e.g. "PCR 1:02:03.456".
std::string PlayTimeText(std::uint64_t hours, std::uint16_t minutes, std::uint16_t seconds,
                         std::uint16_t milliseconds);
std::string PlayTimeText(const ClockTime& time);
// Broadcast time; empty until a TDT/TOT has given one (totSeconds > 0).
std::string TotText(const SystemTime& totLocalTime, std::int64_t totSeconds);
// Byte offset of a packet in a file, upper-case hexadecimal.
std::string OffsetText(std::int64_t offset);
// How far into the file the offset lies, 0 to 100 ("0 %" for an empty file).
std::string PercentText(std::int64_t offset, std::int64_t fileSize);
int PercentOf(std::int64_t offset, std::int64_t fileSize);

// Console only, rewritten in place: ends in "\r" without a line feed.
std::string ProgressLineText(const std::string& percent, const std::string& play,
                             const std::string& tot, const std::string& offset);
std::string ProgressLineText(const FieldTexts& fields);
// One reported drop; `dropCount` includes this drop.
std::string DropLineText(std::uint16_t pid, std::int64_t dropCount, const std::string& play,
                         const std::string& tot, const std::string& offset);
std::string DropLineText(std::uint16_t pid, std::int64_t dropCount, const FieldTexts& fields);
// Heads the drop lines, or the summary, of one source (the path as
// messages embed it).
std::string DropHeaderText(const std::string& sourcePath);

// Summary block.
std::string PidSummaryLineText(std::uint16_t pid, std::uint8_t lastCc, std::int64_t dropCount,
                               std::int64_t totalCount, bool exempt);
std::string WrapHeaderText(const std::string& sourcePath);
std::string WrapDateText(const SystemTime& wrapLocalTime);
std::string EmptyLineText();

// The worker's line when a new TDT/TOT renews the wrap-around prediction.
std::string WrapAroundLineText(const SystemTime& wrapLocalTime);

}  // namespace kestrun
