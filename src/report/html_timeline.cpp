#include "report/html_timeline.h"

#include <algorithm>
#include <vector>

#include "report/html_axis.h"
#include "report/html_marks.h"
#include "report/html_rows.h"
#include "report/html_signal.h"
#include "report/html_strips.h"
#include "report/html_text.h"
#include "report/report_words.h"

namespace kestrun::html {
namespace {

constexpr int kLabelWidth = 200;
constexpr int kRightMargin = 16;
constexpr int kAxisHeight = 36;
constexpr int kGroupHeight = 16;
constexpr int kRowHeight = 18;
constexpr int kSignalHeight = 40;
constexpr int kBottomMargin = 6;
constexpr int kMarkWidth = 2;
constexpr int kStripHeight = 3;
constexpr int kLastLabelRoom = 60;
constexpr int kLabelGap = 3;  // between a grid line and its label (the page's script knows it too)

// Where each row and the rows of their own lie, from the top.
struct Frame {
  std::vector<int> rowTop;
  std::vector<std::pair<RowGroup, int>> groupTop;
  int errorTop = 0;
  int signalTop = -1;
  int height = 0;
};

Frame FrameOf(const RowLayout& layout, bool signal) {
  Frame frame;
  int y = kAxisHeight;
  for (std::size_t i = 0; i < layout.rows.size(); ++i) {
    if (i == 0 || layout.rows[i].group != layout.rows[i - 1].group) {
      frame.groupTop.emplace_back(layout.rows[i].group, y);
      y += kGroupHeight;
    }
    frame.rowTop.push_back(y);
    y += kRowHeight;
  }
  y += kGroupHeight / 2;
  frame.errorTop = y;
  y += kRowHeight;
  if (signal) {
    frame.signalTop = y;
    y += kSignalHeight;
  }
  frame.height = y + kBottomMargin;
  return frame;
}

// The drawing's common knowledge.
struct Drawing {
  const JobReport& job;
  TimeAxis axis;
  RowLayout layout;
  Frame frame;
};

void Attr(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += value;
  out += '"';
}

void Attr(std::string& out, std::string_view name, std::int64_t value) { Attr(out, name, SignedDecimal(value)); }

// <rect x y width height plus the given attributes, ending in <title>.
void OpenRect(std::string& out, std::string_view cssClass, int x, int y, int width, int height) {
  out += "<rect";
  Attr(out, "class", cssClass);
  Attr(out, "x", x);
  Attr(out, "y", y);
  Attr(out, "width", width);
  Attr(out, "height", height);
}

void CloseWithTitle(std::string& out, const std::string& title) {
  out += "><title>";
  out += Escape(title);
  out += "</title></rect>\n";
}

std::string PidText(const Drawing& d, std::uint16_t pid) {
  const int row = d.layout.rowOfPid[pid & 0x1FFF];
  std::string text = "PID " + PidHex(pid);
  if (row >= 0 && !d.layout.rows[static_cast<std::size_t>(row)].name.empty()) {
    text += " (" + d.layout.rows[static_cast<std::size_t>(row)].name + ")";
  }
  return text;
}

std::string PlaceText(const StreamPlace& place) {
  std::string text = "offset " + Decimal(place.offset) + ", play time " + PlayTime(place.playTime);
  if (place.hasBroadcastTime) text += "\nbroadcast time " + BroadcastTime(place.broadcastTime);
  return text;
}

// gap, 3 packets lost, also a drop / drop by the default rule (nullPid), not a loss
std::string EventText(const PacketEvent& event) {
  if (!event.loss) return "drop by the default rule (" + std::string(DropKindWord(event.dropKind)) + "), not a loss";
  std::string text(DropKindWord(event.lossKind));
  text += event.lossKind == DropKind::Gap ? ", " + Counted(event.lostPackets, "packet", "packets") + " lost"
                                          : ", lost packets unknown (a multiple of 16)";
  if (event.drop) text += ", also a drop";
  return text;
}

// Marks lie between the two strips of a row.
constexpr int kMarkArea = kRowHeight - 2 * kStripHeight - 2;
constexpr int kDropHeight = 4;

int LossHeight(const MarkCell& cell) {
  if (cell.repeats || cell.lostPackets >= 8) return kMarkArea;
  if (cell.lostPackets >= 4) return kMarkArea - 2;
  if (cell.lostPackets >= 2) return kMarkArea - 4;
  return kMarkArea - 6;
}

void WriteMark(std::string& out, const Drawing& d, const MarkCell& cell) {
  const int top = d.frame.rowTop[static_cast<std::size_t>(cell.row)];
  const bool loss = cell.kind == MarkKind::Loss;
  const int height = loss ? LossHeight(cell) : kDropHeight;
  const int y = loss ? top + (kRowHeight - height) / 2 : top + kStripHeight + 1 + kMarkArea - kDropHeight;
  OpenRect(out, loss ? "l" : "d", cell.column, y, kMarkWidth, height);
  Attr(out, "data-pid", cell.first.pid);
  Attr(out, "data-offset", Decimal(cell.first.place.offset));
  if (cell.count > 1) Attr(out, "data-count", Decimal(cell.count));
  const PidRow& row = d.layout.rows[static_cast<std::size_t>(cell.row)];
  std::string title = "PID " + PidHex(row.pid) + " (" + std::string(PidKindWord(row.kind)) + "): ";
  if (cell.count > 1) {
    title += loss ? Counted(cell.count, "loss", "losses")
                  : Counted(cell.count, "drop", "drops") + " by the default rule";
    if (loss) title += cell.repeats ? ", at least " + Grouped(cell.lostPackets) + " packets lost"
                                    : ", " + Counted(cell.lostPackets, "packet", "packets") + " lost";
    title += "\nthe first: ";
  } else if (loss) {
    title += "loss, ";
  }
  title += EventText(cell.first) + "\n" + PlaceText(cell.first.place);
  CloseWithTitle(out, title);
}

std::string IncidentText(const Drawing& d, const IncidentBand& band) {
  const LossIncident& first = d.job.incidents.items[band.firstIncident];
  if (band.incidents > 1) {
    return Counted(band.incidents, "incident", "incidents") + ", " +
           Counted(band.lostPackets, "packet", "packets") + " lost\nthe first from play time " +
           PlayTime(first.first.playTime) + ", offset " + Decimal(first.first.offset);
  }
  std::string text = "Incident " + Decimal(band.firstIncident + 1) + ": play time " + PlayTime(first.first.playTime) +
                     " to " + PlayTime(first.last.playTime) + "\nPIDs";
  for (const std::uint16_t pid : first.pids) {
    text += ' ';
    text += PidHex(pid);
  }
  std::vector<std::string> components;
  for (const PidKind kind : first.components) components.emplace_back(PidKindWord(kind));
  if (!components.empty()) text += " (" + Listed(components) + ")";
  text += '\n';
  text += Counted(first.errors, "error", "errors") + ", " + Counted(first.lostPackets, "packet", "packets") +
          " lost\noffsets " + Decimal(first.first.offset) + " to " + Decimal(first.last.offset);
  if (first.first.hasBroadcastTime) text += "\nbroadcast time " + BroadcastTime(first.first.broadcastTime);
  return text;
}

void WriteIncidents(std::string& out, const Drawing& d) {
  for (const IncidentBand& band : IncidentBands(d.job, d.axis, d.layout)) {
    const int width = std::max(kMarkWidth, band.lastColumn - band.firstColumn + 1);
    OpenRect(out, "i", band.firstColumn, d.frame.rowTop[static_cast<std::size_t>(band.row)], width, kRowHeight);
    Attr(out, "data-incidents", Decimal(band.incidents));
    CloseWithTitle(out, IncidentText(d, band));
  }
}

void WriteStrips(std::string& out, const Drawing& d) {
  for (const StripRun& run : StripRuns(d.job, d.axis, d.layout)) {
    const bool tei = run.kind == StripKind::TransportError;
    const int top = d.frame.rowTop[static_cast<std::size_t>(run.row)];
    std::string cssClass = tei ? "t" : "s";
    cssClass += Decimal(static_cast<std::uint64_t>(run.shade));
    OpenRect(out, cssClass, run.firstColumn, tei ? top : top + kRowHeight - kStripHeight,
             run.lastColumn - run.firstColumn + 1, kStripHeight);
    Attr(out, tei ? "data-tei" : "data-scrambled", Decimal(run.packets));
    const PidRow& row = d.layout.rows[static_cast<std::size_t>(run.row)];
    CloseWithTitle(out, PidText(d, row.pid) + "\n" +
                            (tei ? Counted(run.packets, "packet", "packets") + " with transport errors"
                                 : Counted(run.packets, "scrambled packet", "scrambled packets")));
  }
}

void WriteErrors(std::string& out, const Drawing& d) {
  for (const ErrorCell& cell : ErrorCells(d.job, d.axis)) {
    OpenRect(out, "e", cell.column, d.frame.errorTop + 4, kMarkWidth + 1, kRowHeight - 8);
    Attr(out, "data-errors", Decimal(cell.count));
    std::string kinds;
    std::string counts;
    for (std::size_t kind = 0; kind < kStreamErrorKindCount; ++kind) {
      if (cell.byKind[kind] == 0) continue;
      const std::string_view word = StreamErrorWord(static_cast<StreamErrorKind>(kind));
      if (!kinds.empty()) kinds += ' ';
      kinds += word;
      counts += (counts.empty() ? "" : ", ") + Grouped(cell.byKind[kind]) + " " + std::string(word);
    }
    Attr(out, "data-error", kinds);
    const StreamErrorEvent& first = d.job.streamErrorEvents.items[cell.firstEvent];
    std::string title = Counted(cell.count, "stream error", "stream errors") + ": " + counts + "\nthe first: " +
                        std::string(StreamErrorWord(first.kind));
    if (first.pid != kNoPid) title += " on " + PidText(d, first.pid);
    CloseWithTitle(out, title + "\n" + PlaceText(first.place));
  }
}

void WriteRowsAndGrid(std::string& out, const Drawing& d, const std::vector<AxisLabel>& labels) {
  for (std::size_t i = 0; i < d.frame.rowTop.size(); i += 2) {
    out += "<rect class=\"r\" x=\"0\"";
    Attr(out, "y", d.frame.rowTop[i]);
    Attr(out, "width", kPlotColumns);
    Attr(out, "height", kRowHeight);
    out += "/>\n";
  }
  for (const AxisLabel& label : labels) {
    out += "<line class=\"g\"";
    Attr(out, "x1", label.column);
    Attr(out, "x2", label.column);
    Attr(out, "y1", kAxisHeight - 4);
    Attr(out, "y2", d.frame.height - kBottomMargin);
    out += "/>\n";
  }
}

void WriteText(std::string& out, int x, int y, std::string_view cssClass, std::string_view text,
               int column = -1) {
  out += "<text";
  if (!cssClass.empty()) Attr(out, "class", cssClass);
  Attr(out, "x", x);
  Attr(out, "y", y);
  if (column >= 0) Attr(out, "data-col", column);
  out += '>';
  out += Escape(text);
  out += "</text>\n";
}

void WriteLabels(std::string& out, const Drawing& d, const std::vector<AxisLabel>& labels) {
  const bool broadcast = !labels.empty() && !labels.front().broadcast.empty();
  WriteText(out, 8, 14, "h", d.axis.byTicks ? "Play time" : "Position in the stream");
  if (broadcast) WriteText(out, 8, 28, "h", "Broadcast time");
  for (const AxisLabel& label : labels) {
    if (label.column > kPlotColumns - kLastLabelRoom) continue;  // it would run off the drawing
    const int x = kLabelWidth + label.column + kLabelGap;
    WriteText(out, x, 14, "a", label.text, label.column);
    if (broadcast) WriteText(out, x, 28, "a b", label.broadcast, label.column);
  }
  for (const auto& [group, top] : d.frame.groupTop) WriteText(out, 8, top + 12, "h", GroupTitle(group));
  for (std::size_t i = 0; i < d.layout.rows.size(); ++i) {
    const PidRow& row = d.layout.rows[i];
    WriteText(out, 16, d.frame.rowTop[i] + 13, "p", PidHex(row.pid) + "  " + row.name);
  }
  WriteText(out, 8, d.frame.errorTop + 13, "h", "Stream errors");
  if (d.frame.signalTop >= 0) WriteText(out, 8, d.frame.signalTop + 24, "h", "Signal level");
}

void WritePlot(std::string& out, const Drawing& d, const std::vector<AxisLabel>& labels) {
  out += "<svg class=\"plot\"";
  Attr(out, "x", kLabelWidth);
  Attr(out, "y", 0);
  Attr(out, "width", kPlotColumns);
  Attr(out, "height", d.frame.height);
  Attr(out, "viewBox", "0 0 " + Decimal(kPlotColumns) + " " + Decimal(static_cast<std::uint64_t>(d.frame.height)));
  out += " preserveAspectRatio=\"none\">\n";
  WriteRowsAndGrid(out, d, labels);
  WriteIncidents(out, d);
  WriteStrips(out, d);
  for (const MarkCell& cell : MarkCells(d.job, d.axis, d.layout)) WriteMark(out, d, cell);
  WriteErrors(out, d);
  if (d.frame.signalTop >= 0) WriteSignal(out, d.job.outcome.signal.samples, d.frame.signalTop, kSignalHeight);
  out += "</svg>\n";
}

}  // namespace

void WriteTimeline(std::string& out, const JobReport& job, const std::string& id) {
  Drawing d{job, AxisOf(job), LayOutRows(job), {}};
  d.frame = FrameOf(d.layout, !job.outcome.signal.samples.empty());
  const std::vector<AxisLabel> labels = AxisLabels(d.axis, job.samples);
  const int width = kLabelWidth + kPlotColumns + kRightMargin;
  out += "<div class=\"scroll\"><svg class=\"timeline\" role=\"img\"";
  Attr(out, "id", id);
  Attr(out, "width", width);
  Attr(out, "height", d.frame.height);
  Attr(out, "viewBox", "0 0 " + Decimal(static_cast<std::uint64_t>(width)) + " " +
                           Decimal(static_cast<std::uint64_t>(d.frame.height)));
  Attr(out, "data-label-width", kLabelWidth);
  Attr(out, "data-plot-width", kPlotColumns);
  Attr(out, "aria-label", "Timeline of losses, drops, incidents, damaged and scrambled packets and stream errors");
  out += ">\n";
  WriteLabels(out, d, labels);
  WritePlot(out, d, labels);
  out += "</svg></div>\n";
}

}  // namespace kestrun::html
