#include "report/html_rows.h"

#include <algorithm>

namespace kestrun::html {
namespace {

RowGroup GroupOf(PidKind kind) {
  switch (kind) {
    case PidKind::Video: return RowGroup::Video;
    case PidKind::Audio: return RowGroup::Audio;
    case PidKind::Captions:
    case PidKind::Superimpose: return RowGroup::Captions;
    case PidKind::Data: return RowGroup::Data;
    case PidKind::Psi:
    case PidKind::Si: return RowGroup::Tables;
    case PidKind::Ecm:
    case PidKind::Emm: return RowGroup::Conditional;
    case PidKind::Null: return RowGroup::Null;
    case PidKind::Other: break;
  }
  return RowGroup::Other;
}

PidRow RowOfReport(const PidReport& pid) {
  PidRow row;
  row.pid = pid.pid;
  row.kind = pid.kind;
  row.group = GroupOf(pid.kind);
  row.name = pid.name;
  row.report = &pid;
  row.packets = pid.checked + pid.transportErrors;
  row.transportErrors = pid.transportErrors;
  row.scrambled = pid.scrambled;
  return row;
}

// A PID the job's records do not list (it only ever arrived damaged, or
// only an event names it).
PidRow BareRow(std::uint16_t pid, std::uint64_t transportErrors) {
  PidRow row;
  row.pid = pid;
  row.kind = pid == 0x1FFF ? PidKind::Null : PidKind::Other;
  row.group = GroupOf(row.kind);
  row.name = transportErrors > 0 ? "damaged packets only" : "";
  row.packets = transportErrors;
  row.transportErrors = transportErrors;
  return row;
}

}  // namespace

std::string_view GroupTitle(RowGroup group) {
  constexpr std::array<std::string_view, kRowGroupCount> kTitles = {"Video",  "Audio",   "Captions", "Data",
                                                                   "PSI/SI", "ECM/EMM", "Other",    "Null"};
  return kTitles[static_cast<std::size_t>(group)];
}

RowLayout LayOutRows(const JobReport& job) {
  std::vector<PidRow> rows;
  std::array<bool, kPidCount> listed{};
  const auto add = [&](PidRow row) {
    row.pid &= 0x1FFF;
    if (listed[row.pid]) return;
    listed[row.pid] = true;
    rows.push_back(std::move(row));
  };
  for (const PidReport& pid : job.pids) add(RowOfReport(pid));
  for (const DamagedPid& damaged : job.damagedOnly) add(BareRow(damaged.pid, damaged.teiCount));
  for (const DropEvent& drop : job.drops.items) add(BareRow(drop.pid, 0));
  for (const DropEvent& error : job.continuityErrors.items) add(BareRow(error.pid, 0));
  for (const LossIncident& incident : job.incidents.items) {
    for (const std::uint16_t pid : incident.pids) add(BareRow(pid, 0));
  }
  for (const DamageStretch& stretch : job.samples.damage) {
    for (const PidDamage& damage : stretch.pids) add(BareRow(damage.pid, 0));
  }
  std::stable_sort(rows.begin(), rows.end(), [](const PidRow& a, const PidRow& b) {
    return a.group != b.group ? a.group < b.group : a.pid < b.pid;
  });
  RowLayout layout;
  layout.rowOfPid.fill(-1);
  for (std::size_t i = 0; i < rows.size(); ++i) layout.rowOfPid[rows[i].pid] = static_cast<int>(i);
  layout.rows = std::move(rows);
  return layout;
}

}  // namespace kestrun::html
