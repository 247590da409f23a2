#include "analysis/incidents.h"

#include <algorithm>
#include <new>

namespace kestrun {
namespace {

std::uint64_t Distance(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

bool CloseTo(const IncidentGrouping& grouping, const StreamPlace& place, bool clocked) {
  const StreamPlace& last = grouping.current.last;
  if (clocked && grouping.currentClocked) return Distance(place.ticks, last.ticks) <= kIncidentTicks;
  return Distance(place.offset, last.offset) <= kIncidentBytes;
}

void AddPid(LossIncident& incident, std::uint16_t pid) {
  std::vector<std::uint16_t>& pids = incident.pids;
  const auto at = std::lower_bound(pids.begin(), pids.end(), pid);
  if (at != pids.end() && *at == pid) return;
  try {
    pids.insert(at, pid);
  } catch (const std::bad_alloc&) {
    // The incident names fewer PIDs; its counts stay right.
  }
}

}  // namespace

void AddToIncidents(IncidentGrouping& grouping, const StreamPlace& place, bool clocked,
                    std::uint16_t pid, std::uint8_t lostPackets) {
  if (grouping.open && !CloseTo(grouping, place, clocked)) CloseIncidents(grouping);
  LossIncident& incident = grouping.current;
  if (!grouping.open) {
    incident = LossIncident{};
    incident.first = place;
    grouping.open = true;
  }
  incident.last = place;
  ++incident.errors;
  incident.lostPackets += lostPackets;
  grouping.currentClocked = clocked;
  AddPid(incident, pid);
}

void CloseIncidents(IncidentGrouping& grouping) {
  if (!grouping.open) return;
  grouping.closed.Add(std::move(grouping.current));
  grouping.current = LossIncident{};
  grouping.open = false;
}

std::uint64_t IncidentCount(const IncidentGrouping& grouping) {
  return grouping.closed.Total() + (grouping.open ? 1 : 0);
}

}  // namespace kestrun
