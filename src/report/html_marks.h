// What a job's timeline marks, gathered per row and column: the packets
// that are drops by the default rule or continuity errors by the MPEG-2
// systems rule (one mark per packet, whichever lists it), loss incidents,
// and stream errors. Where several fall into one column of one row they
// are drawn as one, with their exact count and the first of them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "report/html_axis.h"
#include "report/html_rows.h"

namespace kestrun::html {

// One packet, with what each rule made of it.
struct PacketEvent {
  std::uint16_t pid = 0;
  StreamPlace place;
  bool drop = false;  // a drop by the default rule
  DropKind dropKind = DropKind::Gap;
  bool loss = false;  // a continuity error by the systems rule (a gap or a repeat)
  DropKind lossKind = DropKind::Gap;
  std::uint8_t lostPackets = 0;
};

// Each packet of the job's drop and continuity-error lists once, in stream
// order (both lists are).
void ForEachPacketEvent(const JobReport& job, const std::function<void(const PacketEvent&)>& visit);

enum class MarkKind : std::uint8_t { Loss, Drop };  // Drop: by the default rule only, no loss

struct MarkCell {
  int row = 0;
  int column = 0;
  MarkKind kind = MarkKind::Loss;
  std::uint64_t count = 0;
  std::uint64_t lostPackets = 0;  // the gaps' lost packets added up
  bool repeats = false;           // a repeat among them: lost packets unknown
  PacketEvent first;
};

// In drawing order: by row, then kind, then column.
std::vector<MarkCell> MarkCells(const JobReport& job, const TimeAxis& axis, const RowLayout& layout);

// Incidents as they cross a row, those that meet in its columns joined.
struct IncidentBand {
  int row = 0;
  int firstColumn = 0;
  int lastColumn = 0;
  std::uint64_t incidents = 0;
  std::uint64_t lostPackets = 0;
  std::size_t firstIncident = 0;  // index in the job's incident list
};

std::vector<IncidentBand> IncidentBands(const JobReport& job, const TimeAxis& axis, const RowLayout& layout);

struct ErrorCell {
  int column = 0;
  std::array<std::uint64_t, kStreamErrorKindCount> byKind{};
  std::uint64_t count = 0;
  std::size_t firstEvent = 0;  // index in the job's stream-error events
};

// Stream errors per column, in column order.
std::vector<ErrorCell> ErrorCells(const JobReport& job, const TimeAxis& axis);

}  // namespace kestrun::html
