// The rows of a job's timeline: one per PID, grouped by what the PID
// carries (video, audio, captions, data, PSI/SI, ECM/EMM, other, null), in
// PID order inside a group.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "report/run_report.h"

namespace kestrun::html {

enum class RowGroup : std::uint8_t { Video, Audio, Captions, Data, Tables, Conditional, Other, Null };
inline constexpr std::size_t kRowGroupCount = 8;

// "Video", "Audio", "Captions", "Data", "PSI/SI", "ECM/EMM", "Other", "Null"
std::string_view GroupTitle(RowGroup group);

struct PidRow {
  std::uint16_t pid = 0;
  PidKind kind = PidKind::Other;
  RowGroup group = RowGroup::Other;
  std::string name;
  const PidReport* report = nullptr;  // none for a PID that only ever arrived damaged
  std::uint64_t packets = 0;          // checked and damaged
  std::uint64_t transportErrors = 0;
  std::uint64_t scrambled = 0;
};

struct RowLayout {
  std::vector<PidRow> rows;  // in drawing order
  std::array<int, kPidCount> rowOfPid;  // -1: no row
};

// A row for every PID of the job and every PID an event names.
RowLayout LayOutRows(const JobReport& job);

}  // namespace kestrun::html
