// A job's verdict in words: clean, or what was lost and what it hit, the
// drops that lost nothing, damaged and scrambled packets, stream errors,
// and how far the source was read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/run_report.h"

namespace kestrun::html {

enum class VerdictLevel { Clean, Notes, Losses, NotChecked };

struct Verdict {
  VerdictLevel level = VerdictLevel::Clean;
  std::string headline;
  std::vector<std::string> details;  // plain text, one sentence each
};

Verdict JudgeJob(const JobReport& job);

// "CRC error" / "CRC errors", "PCR discontinuity" / "PCR discontinuities".
std::string StreamErrorName(StreamErrorKind kind, bool plural);

// "video", "audio", "superimposed text", "PSI", "ECM", ...
std::string_view ComponentName(PidKind kind);

}  // namespace kestrun::html
