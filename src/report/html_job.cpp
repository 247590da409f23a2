#include "report/html_job.h"

#include <vector>

#include "platform/platform.h"
#include "report/html_tables.h"
#include "report/html_text.h"
#include "report/html_timeline.h"
#include "report/html_verdict.h"

namespace kestrun::html {
namespace {

std::string SourceKindText(SourceKind kind) {
  switch (kind) {
    case SourceKind::File: return "file";
    case SourceKind::StdIn: return "standard input";
    case SourceKind::Pipe: return "pipe";
    case SourceKind::Tuner: return "tuner";
    case SourceKind::Invalid: break;
  }
  return "nothing found to read";
}

void Fact(std::string& out, std::string_view name, const std::string& value) {
  out += "<dt>";
  out += name;
  out += "</dt><dd>";
  out += Escape(value);
  out += "</dd>\n";
}

std::string SizeText(const JobReport& job) {
  const JobOutcome& outcome = job.outcome;
  if (outcome.kind != SourceKind::File || outcome.fileSize < 0) {
    return ByteSize(outcome.bytesRead) + " read (" + Counted(outcome.bytesRead, "byte", "bytes") + ")";
  }
  const auto size = static_cast<std::uint64_t>(outcome.fileSize);
  std::string text = ByteSize(size) + " (" + Counted(size, "byte", "bytes") + ")";
  if (outcome.startPosition > 0) {
    text += ", read from byte " + Grouped(static_cast<std::uint64_t>(outcome.startPosition));
  }
  if (!job.complete) text += ", " + Grouped(outcome.bytesRead) + " bytes read";
  return text;
}

std::string PacketText(const JobOutcome& outcome) {
  const std::uint64_t framed = outcome.packetsBySize[1];
  const std::uint64_t packets = outcome.packetsBySize[0] + framed;
  if (packets == 0) return "none";
  return Counted(packets, "packet", "packets") + " of " + (framed * 2 > packets ? "192" : "188") + " bytes";
}

std::string PlaySpanText(const JobReport& job) {
  if (!job.hasPlayTime) return "no clock in the stream";
  const std::uint64_t duration = job.lastTicks >= job.firstTicks ? job.lastTicks - job.firstTicks : 0;
  return PlayTimeOfTicks(job.firstTicks) + " to " + PlayTimeOfTicks(job.lastTicks) + " (" +
         PlayTimeOfTicks(duration) + ")";
}

std::string BroadcastSpanText(const JobReport& job) {
  if (!job.hasBroadcastSpan) return "no TDT/TOT in the stream";
  return BroadcastTime(job.firstBroadcastTime) + " to " + BroadcastTime(job.lastBroadcastTime);
}

std::string ProgramsText(const JobReport& job) {
  std::string text;
  for (const ProgramReport& program : job.programs) {
    if (!text.empty()) text += "; ";
    text += Decimal(program.number) + " (PMT " + PidHex(program.pmtPid);
    if (program.hasPmt && program.pcrPid != 0x1FFF) text += ", PCR " + PidHex(program.pcrPid);
    text += ")";
  }
  return text.empty() ? "none found" : text;
}

void WriteFacts(std::string& out, const JobReport& job) {
  out += "<dl class=\"facts\">\n";
  Fact(out, "Source", platform::TextToUtf8(job.source));
  Fact(out, "Read from", SourceKindText(job.outcome.kind));
  if (job.refusal == SourceRefusal::None) {
    Fact(out, "Size", SizeText(job));
    Fact(out, "Packets", PacketText(job.outcome));
    Fact(out, "Play time", PlaySpanText(job));
    Fact(out, "Broadcast time", BroadcastSpanText(job));
    Fact(out, "Programs", ProgramsText(job));
  }
  out += "</dl>\n";
}

void WriteVerdict(std::string& out, const Verdict& verdict) {
  constexpr std::string_view kLevels[] = {"clean", "notes", "losses", "notchecked"};
  out += "<div class=\"verdict ";
  out += kLevels[static_cast<int>(verdict.level)];
  out += "\"><p class=\"headline\">";
  out += Escape(verdict.headline);
  out += "</p>\n";
  for (const std::string& detail : verdict.details) out += "<p>" + Escape(detail) + "</p>\n";
  out += "</div>\n";
}

void WriteLegend(std::string& out, const std::string& target) {
  out += "<div class=\"tools\"><span class=\"zoom\">";
  constexpr std::pair<std::string_view, std::string_view> kButtons[] = {
      {"out", "Zoom out"}, {"in", "Zoom in"}, {"fit", "Fit"}};
  for (const auto& [word, label] : kButtons) {
    out += "<button type=\"button\" data-zoom=\"";
    out += word;
    out += "\" data-target=\"" + target + "\">";
    out += label;
    out += "</button>";
  }
  out += "</span>\n<span class=\"legend\">"
         "<span><i class=\"kl\"></i>loss (taller: more packets lost)</span>"
         "<span><i class=\"kd\"></i>drop by the default rule, no loss</span>"
         "<span><i class=\"ki\"></i>loss incident</span>"
         "<span><i class=\"kt\"></i>transport errors</span>"
         "<span><i class=\"ks\"></i>scrambled</span>"
         "<span><i class=\"ke\"></i>stream error</span></span></div>\n";
}

// The timeline draws the events the report lists; beyond their limit they
// are only counted.
void WriteOmissions(std::string& out, const JobReport& job) {
  std::vector<std::string> parts;
  const auto note = [&](std::uint64_t omitted, std::string_view one, std::string_view many) {
    if (omitted > 0) parts.push_back(Counted(omitted, one, many));
  };
  note(job.drops.omitted, "drop", "drops");
  note(job.continuityErrors.omitted, "loss", "losses");
  note(job.incidents.omitted, "incident", "incidents");
  note(job.streamErrorEvents.omitted, "stream error", "stream errors");
  if (parts.empty()) return;
  const std::string text = "The timeline draws the first " + Grouped(kEventListLimit) + " events of each kind; " +
                           Listed(parts) + " more are counted above but not drawn.";
  out += "<p class=\"note\">" + Escape(text) + "</p>\n";
}

}  // namespace

void WriteJobSection(std::string& out, const JobReport& job, std::size_t number) {
  const std::string id = "job-" + Decimal(number);
  out += "<section class=\"job\" id=\"" + id + "\">\n<h2>" + Escape(platform::TextToUtf8(job.source)) + "</h2>\n";
  WriteFacts(out, job);
  WriteVerdict(out, JudgeJob(job));
  if (job.refusal == SourceRefusal::None) {
    WriteOmissions(out, job);
    WriteLegend(out, id + "-timeline");
    WriteTimeline(out, job, id + "-timeline");
    WritePidTable(out, job);
    WriteStreamErrorTable(out, job);
  }
  out += "</section>\n";
}

}  // namespace kestrun::html
