#include "report/html_marks.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace kestrun::html {
namespace {

bool Before(const DropEvent& a, const DropEvent& b) {
  return std::tie(a.place.offset, a.pid) < std::tie(b.place.offset, b.pid);
}

PacketEvent FromDrop(const DropEvent& drop) {
  PacketEvent event;
  event.pid = drop.pid;
  event.place = drop.place;
  event.drop = true;
  event.dropKind = drop.kind;
  return event;
}

void AddLoss(PacketEvent& event, const DropEvent& error) {
  event.loss = true;
  event.lossKind = error.kind;
  event.lostPackets = error.lostPackets;
}

void AddToCell(MarkCell& cell, const PacketEvent& event) {
  if (cell.count == 0) cell.first = event;
  ++cell.count;
  if (!event.loss) return;
  cell.lostPackets += event.lostPackets;
  cell.repeats = cell.repeats || event.lossKind == DropKind::Repeat;
}

}  // namespace

void ForEachPacketEvent(const JobReport& job, const std::function<void(const PacketEvent&)>& visit) {
  const std::vector<DropEvent>& drops = job.drops.items;
  const std::vector<DropEvent>& errors = job.continuityErrors.items;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < drops.size() || j < errors.size()) {
    if (j == errors.size() || (i < drops.size() && Before(drops[i], errors[j]))) {
      visit(FromDrop(drops[i++]));
      continue;
    }
    PacketEvent event;
    if (i < drops.size() && !Before(errors[j], drops[i])) {
      event = FromDrop(drops[i++]);  // the same packet in both lists
    } else {
      event.pid = errors[j].pid;
      event.place = errors[j].place;
    }
    AddLoss(event, errors[j++]);
    visit(event);
  }
}

std::vector<MarkCell> MarkCells(const JobReport& job, const TimeAxis& axis, const RowLayout& layout) {
  std::map<std::tuple<int, MarkKind, int>, MarkCell> cells;
  ForEachPacketEvent(job, [&](const PacketEvent& event) {
    const int row = layout.rowOfPid[event.pid & 0x1FFF];
    const MarkKind kind = event.loss ? MarkKind::Loss : MarkKind::Drop;
    const int column = axis.Column(axis.ValueOf(event.place));
    MarkCell& cell = cells[{row, kind, column}];
    cell.row = row;
    cell.kind = kind;
    cell.column = column;
    AddToCell(cell, event);
  });
  std::vector<MarkCell> ordered;
  ordered.reserve(cells.size());
  for (auto& entry : cells) ordered.push_back(entry.second);
  return ordered;
}

std::vector<IncidentBand> IncidentBands(const JobReport& job, const TimeAxis& axis, const RowLayout& layout) {
  std::vector<IncidentBand> crossings;
  const std::vector<LossIncident>& incidents = job.incidents.items;
  for (std::size_t i = 0; i < incidents.size(); ++i) {
    const LossIncident& incident = incidents[i];
    int first = axis.Column(axis.ValueOf(incident.first));
    int last = axis.Column(axis.ValueOf(incident.last));
    if (last < first) std::swap(first, last);
    for (const std::uint16_t pid : incident.pids) {
      crossings.push_back({layout.rowOfPid[pid & 0x1FFF], first, last, 1, incident.lostPackets, i});
    }
  }
  std::stable_sort(crossings.begin(), crossings.end(), [](const IncidentBand& a, const IncidentBand& b) {
    return std::tie(a.row, a.firstColumn) < std::tie(b.row, b.firstColumn);
  });
  std::vector<IncidentBand> bands;
  for (const IncidentBand& crossing : crossings) {
    if (!bands.empty() && bands.back().row == crossing.row && crossing.firstColumn <= bands.back().lastColumn + 1) {
      IncidentBand& band = bands.back();
      band.lastColumn = std::max(band.lastColumn, crossing.lastColumn);
      ++band.incidents;
      band.lostPackets += crossing.lostPackets;
      band.firstIncident = std::min(band.firstIncident, crossing.firstIncident);
      continue;
    }
    bands.push_back(crossing);
  }
  return bands;
}

std::vector<ErrorCell> ErrorCells(const JobReport& job, const TimeAxis& axis) {
  std::map<int, ErrorCell> cells;
  const std::vector<StreamErrorEvent>& events = job.streamErrorEvents.items;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const int column = axis.Column(axis.ValueOf(events[i].place));
    ErrorCell& cell = cells[column];
    if (cell.count == 0) {
      cell.column = column;
      cell.firstEvent = i;
    }
    ++cell.count;
    ++cell.byKind[static_cast<std::size_t>(events[i].kind) % kStreamErrorKindCount];
  }
  std::vector<ErrorCell> ordered;
  ordered.reserve(cells.size());
  for (auto& entry : cells) ordered.push_back(entry.second);
  return ordered;
}

}  // namespace kestrun::html
