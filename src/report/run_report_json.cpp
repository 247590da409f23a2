// The report document. Its form is kept stable for the scripts that read
// it: members are only ever added, never renamed, removed or retyped.
#include <cstdio>
#include <optional>

#include "report/run_report_json.h"
#include "platform/platform.h"
#include "report/report_words.h"
#include "support/json_writer.h"
#include "support/real_text.h"
#include "ts/civil_date.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "0.0.0"
#endif

namespace kestrun {
namespace {

constexpr int kFormatVersion = 1;
// The document goes out to its file in pieces of about this size.
constexpr std::size_t kPieceSize = 1 << 16;

std::string DateTimeText(std::int64_t year, unsigned month, unsigned day, unsigned hour,
                         unsigned minute, unsigned second) {
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02u", static_cast<long long>(year),
                month, day, hour, minute, second);
  return text;
}

// Seconds since 1970 as a UTC date and time, e.g. 2026-12-07T15:33:09Z.
std::string UtcText(std::int64_t seconds) {
  SystemTime utc;
  if (!UtcFromEpoch(seconds, &utc)) return {};
  return DateTimeText(utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second) + "Z";
}

// A broadcast time, taken as local time: no zone is written.
std::string LocalText(const SystemTime& time) {
  return DateTimeText(time.year, time.month, time.day, time.hour, time.minute, time.second);
}

std::string ClockText(const ClockTime& time) {
  char text[40];
  std::snprintf(text, sizeof text, "%u:%02u:%02u.%03u", static_cast<unsigned>(time.hours),
                static_cast<unsigned>(time.minutes), static_cast<unsigned>(time.seconds),
                static_cast<unsigned>(time.milliseconds));
  return text;
}

const char* KindName(SourceKind kind) {
  switch (kind) {
    case SourceKind::File: return "file";
    case SourceKind::StdIn: return "stdin";
    case SourceKind::Pipe: return "pipe";
    case SourceKind::Tuner: return "tuner";
    case SourceKind::Invalid: break;
  }
  return "none";
}

const char* EndName(const JobReport& job) {
  if (job.refusal != SourceRefusal::None) return "refused";
  if (job.running) return "running";
  switch (job.outcome.end) {
    case JobEnd::NotStarted: return "notStarted";
    case JobEnd::NotOpened: return "notOpened";
    case JobEnd::EndOfInput: return "endOfInput";
    case JobEnd::Window: return "window";
    case JobEnd::Stop: return "stop";
    case JobEnd::ReadBufferFailed: return "readBufferFailed";
  }
  return "notStarted";
}

const char* RefusalName(SourceRefusal refusal) {
  switch (refusal) {
    case SourceRefusal::FileMissing: return "fileMissing";
    case SourceRefusal::NotTransportStream: return "notTransportStream";
    case SourceRefusal::TunerSpaceMissing: return "tunerSpaceMissing";
    case SourceRefusal::TunerChannelMissing: return "tunerChannelMissing";
    case SourceRefusal::TunerDriverMissing: return "tunerDriverMissing";
    case SourceRefusal::None: break;
  }
  return nullptr;
}

const char* RoleName(PidRoleKind kind) {
  switch (kind) {
    case PidRoleKind::Pat: return "pat";
    case PidRoleKind::Pmt: return "pmt";
    case PidRoleKind::Network: return "network";
    case PidRoleKind::Pcr: return "pcr";
    case PidRoleKind::Elementary: return "stream";
    case PidRoleKind::Time: return "time";
    case PidRoleKind::Null: return "null";
  }
  return "other";
}

// A string member, or null when there is no text.
void OptionalMember(JsonWriter& json, std::string_view name, const std::optional<std::string>& text) {
  json.Key(name);
  if (text) {
    json.String(*text);
  } else {
    json.Null();
  }
}

std::optional<std::string> BroadcastText(bool has, const SystemTime& time) {
  if (!has) return std::nullopt;
  return LocalText(time);
}

void WriteRoles(JsonWriter& json, const std::vector<PidRole>& roles) {
  json.Key("roles");
  json.BeginArray();
  for (const PidRole& role : roles) {
    json.BeginObject();
    json.Member("role", RoleName(role.kind));
    if (role.kind != PidRoleKind::Pat && role.kind != PidRoleKind::Time &&
        role.kind != PidRoleKind::Null) {
      json.Member("program", role.programNumber);
    }
    if (role.kind == PidRoleKind::Elementary) json.Member("streamType", role.streamType);
    json.EndObject();
  }
  if (roles.empty()) {
    json.BeginObject();
    json.Member("role", "other");
    json.EndObject();
  }
  json.EndArray();
}

void Member(JsonWriter& json, std::string_view name, std::string_view word) {
  json.Key(name);
  json.String(word);
}

// An integer member, or null when there is none.
void OptionalMember(JsonWriter& json, std::string_view name, bool has, std::uint64_t value) {
  json.Key(name);
  if (has) {
    json.Unsigned(value);
  } else {
    json.Null();
  }
}

// The members of a place in the stream: offset, ticks, playTime, broadcastTime.
void WritePlace(JsonWriter& json, const StreamPlace& place, std::string_view prefix = {}) {
  const auto name = [&](std::string_view base) {
    if (prefix.empty()) return std::string(base);
    std::string joined(prefix);
    joined += static_cast<char>(base[0] - 'a' + 'A');
    joined += base.substr(1);
    return joined;
  };
  json.Member(name("offset"), place.offset);
  json.Member(name("ticks"), place.ticks);
  json.Member(name("playTime"), ClockText(place.playTime));
  OptionalMember(json, name("broadcastTime"), BroadcastText(place.hasBroadcastTime, place.broadcastTime));
}

void WritePid(JsonWriter& json, const PidReport& pid) {
  json.BeginObject();
  json.Member("pid", pid.pid);
  json.Member("checked", pid.checked);
  json.Member("drops", pid.drops);
  json.Member("lastCc", pid.lastCc);
  json.Member("pcrExempt", pid.pcrExempt);
  json.Member("transportErrors", pid.transportErrors);
  json.Member("scrambled", pid.scrambled);
  WriteRoles(json, pid.roles);
  Member(json, "kind", PidKindWord(pid.kind));
  json.Member("name", pid.name);
  json.Member("continuityErrors", pid.continuityErrors);
  json.EndObject();
}

// A drop, or a continuity error: lostPackets is the gap's size, 0 where
// nothing was lost (a copy, a packet without payload), null where it cannot
// be told.
void WriteDrop(JsonWriter& json, const DropEvent& drop) {
  json.BeginObject();
  json.Member("pid", drop.pid);
  json.Member("dropCount", drop.dropCount);
  WritePlace(json, drop.place);
  json.Member("reported", drop.reported);
  Member(json, "kind", DropKindWord(drop.kind));
  const bool known = drop.kind == DropKind::Gap || drop.kind == DropKind::Duplicate ||
                     drop.kind == DropKind::NoPayload;
  OptionalMember(json, "lostPackets", known, drop.lostPackets);
  json.EndObject();
}

void WriteIncident(JsonWriter& json, const LossIncident& incident) {
  json.BeginObject();
  WritePlace(json, incident.first, "first");
  WritePlace(json, incident.last, "last");
  json.Key("pids");
  json.BeginArray();
  for (const std::uint16_t pid : incident.pids) json.Unsigned(pid);
  json.EndArray();
  json.Key("components");
  json.BeginArray();
  for (const PidKind kind : incident.components) json.String(PidKindWord(kind));
  json.EndArray();
  json.Member("errors", incident.errors);
  json.Member("lostPackets", incident.lostPackets);
  json.EndObject();
}

void WriteOccurrence(JsonWriter& json, const StreamErrorEvent& event) {
  json.BeginObject();
  WritePlace(json, event.place);
  OptionalMember(json, "pid", event.pid != kNoPid, event.pid);
  json.EndObject();
}

void WriteStreamErrorEvent(JsonWriter& json, const StreamErrorEvent& event) {
  json.BeginObject();
  Member(json, "kind", StreamErrorWord(event.kind));
  WritePlace(json, event.place);
  OptionalMember(json, "pid", event.pid != kNoPid, event.pid);
  json.EndObject();
}

void WriteStreamErrors(JsonWriter& json, const JobReport& job) {
  json.Key("streamErrors");
  json.BeginObject();
  for (std::size_t i = 0; i < kStreamErrorKindCount; ++i) {
    const StreamErrorTally& tally = job.streamErrors[i];
    const auto kind = static_cast<StreamErrorKind>(i);
    json.Key(StreamErrorWord(kind));
    json.BeginObject();
    json.Member("count", tally.count);
    for (const auto& [name, event] : {std::pair{"first", &tally.first}, std::pair{"last", &tally.last}}) {
      json.Key(name);
      if (tally.count > 0) {
        WriteOccurrence(json, *event);
      } else {
        json.Null();
      }
    }
    if (kind == StreamErrorKind::SyncLoss) json.Member("bytesSkipped", job.syncBytesSkipped);
    json.EndObject();
  }
  json.EndObject();
}

void WriteProgram(JsonWriter& json, const ProgramReport& program) {
  json.BeginObject();
  json.Member("program", program.number);
  json.Member("pmtPid", program.pmtPid);
  OptionalMember(json, "pcrPid", program.hasPmt, program.pcrPid);
  json.Key("streams");
  json.BeginArray();
  for (const ProgramStreamReport& stream : program.streams) {
    json.BeginObject();
    json.Member("pid", stream.pid);
    json.Member("streamType", stream.streamType);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteDamaged(JsonWriter& json, const DamagedPid& damaged) {
  json.BeginObject();
  json.Member("pid", damaged.pid);
  json.Member("transportErrors", damaged.teiCount);
  json.EndObject();
}

// Most packets of a 192-byte stream are framed so; a few may not be.
std::optional<std::uint64_t> PacketSize(const JobOutcome& outcome) {
  const std::uint64_t framed = outcome.packetsBySize[1];
  const std::uint64_t packets = outcome.packetsBySize[0] + framed;
  if (packets == 0) return std::nullopt;
  return framed * 2 > packets ? 192 : 188;
}

void WriteReading(JsonWriter& json, const JobReport& job) {
  const JobOutcome& outcome = job.outcome;
  json.Member("source", platform::TextToUtf8(job.source));
  json.Member("kind", KindName(outcome.kind));
  json.Member("startOffset", outcome.startOffset);
  json.Member("startPosition", outcome.startPosition);
  json.Key("fileSize");
  if (outcome.kind == SourceKind::File && outcome.fileSize >= 0) {
    json.Int(outcome.fileSize);
  } else {
    json.Null();
  }
  json.Key("packetSize");
  if (const std::optional<std::uint64_t> size = PacketSize(outcome)) {
    json.Unsigned(*size);
  } else {
    json.Null();
  }
  json.Member("packets", outcome.packetsBySize[0] + outcome.packetsBySize[1]);
  json.Member("bytes", outcome.bytesRead);
  json.Member("end", EndName(job));
  OptionalMember(json, "started", job.started > 0 ? std::optional(UtcText(job.started)) : std::nullopt);
  const char* refusal = RefusalName(job.refusal);
  OptionalMember(json, "refusal", refusal ? std::optional<std::string>(refusal) : std::nullopt);
}

template <typename Item, typename WriteItem>
void WriteArray(JsonWriter& json, std::string_view name, const std::vector<Item>& items,
                WriteItem write) {
  json.Key(name);
  json.BeginArray();
  for (const Item& item : items) write(json, item);
  json.EndArray();
}

// The tuner's signal levels: null when the driver gave none.
void WriteSignal(JsonWriter& json, const SignalSeries& signal) {
  json.Key("signal");
  if (!signal.HasLevel()) {
    json.Null();
    return;
  }
  json.BeginObject();
  json.Key("latest");
  json.Number(RealText(signal.latest));
  json.Key("min");
  json.Number(RealText(signal.lowest));
  json.Key("mean");
  json.Number(RealText(signal.Mean()));
  json.Key("max");
  json.Number(RealText(signal.highest));
  json.Key("series");
  json.BeginArray();
  for (const SignalSample& sample : signal.samples) {
    json.NumberRow({UnixSecondsText(sample.unixMs), RealText(sample.level)});
  }
  json.EndArray();
  json.EndObject();
}

// The play and broadcast time the job spanned.
void WriteSpan(JsonWriter& json, const JobReport& job) {
  OptionalMember(json, "firstTicks", job.hasPlayTime, job.firstTicks);
  OptionalMember(json, "lastTicks", job.hasPlayTime, job.lastTicks);
  for (const auto& [name, ticks] : {std::pair{"firstPlayTime", job.firstTicks}, std::pair{"lastPlayTime", job.lastTicks}}) {
    OptionalMember(json, name, job.hasPlayTime ? std::optional<std::string>(ClockText(TicksToClockTime(ticks)))
                                               : std::nullopt);
  }
  OptionalMember(json, "firstBroadcastTime", BroadcastText(job.hasBroadcastSpan, job.firstBroadcastTime));
  OptionalMember(json, "lastBroadcastTime", BroadcastText(job.hasBroadcastSpan, job.lastBroadcastTime));
}

void WriteJob(JsonWriter& json, const JobReport& job) {
  json.BeginObject();
  WriteReading(json, job);
  json.Member("dropTotal", job.dropTotal);
  WriteArray(json, "pids", job.pids, WritePid);
  WriteArray(json, "damagedOnlyPids", job.damagedOnly, WriteDamaged);
  WriteArray(json, "drops", job.drops.items, WriteDrop);
  WriteArray(json, "pcrPids", job.pcrPids,
             [](JsonWriter& out, std::uint16_t pid) { out.Unsigned(pid); });
  OptionalMember(json, "broadcastTime", BroadcastText(job.hasBroadcastTime, job.broadcastTime));
  json.Member("dropsOmitted", job.drops.omitted);
  json.Member("continuityErrorTotal", job.continuityErrorTotal);
  json.Member("lostPacketsEstimate", job.lostPacketsEstimate);
  WriteArray(json, "continuityErrorEvents", job.continuityErrors.items, WriteDrop);
  json.Member("continuityErrorEventsOmitted", job.continuityErrors.omitted);
  WriteArray(json, "incidents", job.incidents.items, WriteIncident);
  json.Member("incidentsOmitted", job.incidents.omitted);
  WriteStreamErrors(json, job);
  WriteArray(json, "streamErrorEvents", job.streamErrorEvents.items, WriteStreamErrorEvent);
  json.Member("streamErrorEventsOmitted", job.streamErrorEvents.omitted);
  json.Member("transportErrorTotal", job.transportErrorTotal);
  json.Member("scrambledTotal", job.scrambledTotal);
  WriteSpan(json, job);
  json.Member("complete", job.complete);
  WriteArray(json, "programs", job.programs, WriteProgram);
  json.Member("discardedBytes", job.outcome.discardedBytes);
  WriteSignal(json, job.outcome.signal);
  json.EndObject();
}

void WriteDocument(JsonWriter& json, const RunReport& report, const std::string& programName) {
  json.BeginObject();
  json.Member("format", "kestrun-report");
  json.Member("formatVersion", kFormatVersion);
  json.Key("program");
  json.BeginObject();
  json.Member("name", platform::TextToUtf8(programName));
  json.Member("version", KESTRUN_VERSION);
  json.EndObject();
  json.Key("run");
  json.BeginObject();
  json.Member("started", UtcText(report.started));
  OptionalMember(json, "ended", report.running ? std::nullopt : std::optional(UtcText(report.ended)));
  json.Key("exitCode");
  if (report.running) {
    json.Null();
  } else {
    json.Int(report.exitCode);
  }
  json.Member("dropTotal", report.dropTotal);
  json.Member("running", report.running);
  Member(json, "countingRule", CountingRuleWord(report.countingRule));
  json.EndObject();
  WriteArray(json, "jobs", report.jobs, WriteJob);
  json.EndObject();
}

}  // namespace

void WriteRunReport(const RunReport& report, const std::string& programName,
                    const std::function<void(std::string_view)>& sink) {
  JsonWriter json;
  json.StreamTo(sink, kPieceSize);
  WriteDocument(json, report, programName);
  json.Flush();
}

std::string FormatRunReport(const RunReport& report, const std::string& programName) {
  JsonWriter json;
  WriteDocument(json, report, programName);
  return json.Text();
}

}  // namespace kestrun
