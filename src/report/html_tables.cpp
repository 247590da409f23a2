#include "report/html_tables.h"

#include <initializer_list>

#include "report/html_rows.h"
#include "report/html_text.h"
#include "report/html_verdict.h"
#include "report/report_words.h"

namespace kestrun::html {
namespace {

void Cell(std::string& out, std::string_view text, bool number = false) {
  out += number ? "<td class=\"n\">" : "<td>";
  out += Escape(text);
  out += "</td>";
}

void HeaderRow(std::string& out, std::initializer_list<std::string_view> titles) {
  out += "<thead><tr>";
  for (const std::string_view title : titles) {
    out += "<th>";
    out += Escape(title);
    out += "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
}

struct PidCounts {
  std::uint64_t checked = 0;  // by the default rule (a PCR PID is not), and the damaged packets
  std::uint64_t drops = 0;
  std::uint64_t losses = 0;
  std::uint64_t transportErrors = 0;
  std::uint64_t scrambled = 0;
};

void CountCells(std::string& out, const PidCounts& counts, std::string_view dropNote = {}) {
  Cell(out, Grouped(counts.checked), true);
  Cell(out, Grouped(counts.drops) + std::string(dropNote), true);
  Cell(out, Grouped(counts.losses), true);
  Cell(out, Grouped(counts.transportErrors), true);
  Cell(out, Grouped(counts.scrambled), true);
}

std::string OccurrenceText(const StreamErrorEvent& event) {
  std::string text = PlayTime(event.place.playTime) + ", offset " + Decimal(event.place.offset);
  if (event.pid != kNoPid) text += ", PID " + PidHex(event.pid);
  if (event.place.hasBroadcastTime) text += ", " + BroadcastTime(event.place.broadcastTime);
  return text;
}

}  // namespace

void WritePidTable(std::string& out, const JobReport& job) {
  out += "<table class=\"pids\"><caption>PIDs</caption>\n";
  HeaderRow(out, {"PID", "Kind", "Name", "Checked", "Drops", "Losses", "Transport errors", "Scrambled"});
  PidCounts total;
  for (const PidRow& row : LayOutRows(job).rows) {
    PidCounts counts;
    counts.checked = row.packets;
    counts.transportErrors = row.transportErrors;
    counts.scrambled = row.scrambled;
    if (row.report != nullptr) {
      counts.drops = row.report->drops;
      counts.losses = row.report->continuityErrors;
    }
    out += "<tr>";
    Cell(out, PidHex(row.pid) + " (" + Decimal(row.pid) + ")");
    Cell(out, PidKindWord(row.kind));
    Cell(out, row.name);
    CountCells(out, counts, row.report != nullptr && row.report->pcrExempt ? " (PCR, not counted)" : "");
    out += "</tr>\n";
    total.checked += counts.checked;
    total.drops += counts.drops;
    total.losses += counts.losses;
    total.transportErrors += counts.transportErrors;
    total.scrambled += counts.scrambled;
  }
  out += "</tbody>\n<tfoot><tr><th colspan=\"3\">All PIDs</th>";
  CountCells(out, total);
  out += "</tr></tfoot></table>\n";
}

void WriteStreamErrorTable(std::string& out, const JobReport& job) {
  bool any = false;
  for (const StreamErrorTally& tally : job.streamErrors) any = any || tally.count > 0;
  if (!any) {
    out += "<p class=\"none\">No stream errors.</p>\n";
    return;
  }
  out += "<table class=\"errors\"><caption>Stream errors</caption>\n";
  HeaderRow(out, {"Error", "Count", "First", "Last"});
  for (std::size_t kind = 0; kind < kStreamErrorKindCount; ++kind) {
    const StreamErrorTally& tally = job.streamErrors[kind];
    if (tally.count == 0) continue;
    const auto errorKind = static_cast<StreamErrorKind>(kind);
    std::string name = StreamErrorName(errorKind, false) + " (" + std::string(StreamErrorWord(errorKind)) + ")";
    if (errorKind == StreamErrorKind::SyncLoss) name += ", " + ByteSize(job.syncBytesSkipped) + " skipped";
    out += "<tr>";
    Cell(out, name);
    Cell(out, Grouped(tally.count), true);
    Cell(out, OccurrenceText(tally.first));
    Cell(out, OccurrenceText(tally.last));
    out += "</tr>\n";
  }
  out += "</tbody></table>\n";
}

}  // namespace kestrun::html
