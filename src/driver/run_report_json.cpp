// The report document. Its form is kept stable for the scripts that read
// it: members are only ever added, never renamed, removed or retyped.
#include <cstdio>
#include <optional>

#include "driver/run_report.h"
#include "platform/platform.h"
#include "support/json_writer.h"
#include "support/real_text.h"
#include "ts/civil_date.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "0.0.0"
#endif

namespace kestrun {
namespace {

constexpr int kFormatVersion = 1;

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
  json.EndObject();
}

void WriteDrop(JsonWriter& json, const DropEvent& drop) {
  json.BeginObject();
  json.Member("pid", drop.pid);
  json.Member("dropCount", drop.dropCount);
  json.Member("offset", drop.offset);
  json.Member("ticks", drop.ticks);
  json.Member("playTime", ClockText(drop.time));
  OptionalMember(json, "broadcastTime", BroadcastText(drop.hasTot, drop.tot));
  json.Member("reported", drop.reported);
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

void WriteJob(JsonWriter& json, const JobReport& job) {
  json.BeginObject();
  WriteReading(json, job);
  json.Member("dropTotal", job.dropTotal);
  WriteArray(json, "pids", job.pids, WritePid);
  WriteArray(json, "damagedOnlyPids", job.damagedOnly, WriteDamaged);
  WriteArray(json, "drops", job.outcome.drops, WriteDrop);
  WriteArray(json, "pcrPids", job.pcrPids,
             [](JsonWriter& out, std::uint16_t pid) { out.Unsigned(pid); });
  OptionalMember(json, "broadcastTime", BroadcastText(job.hasBroadcastTime, job.broadcastTime));
  json.Member("discardedBytes", job.outcome.discardedBytes);
  WriteSignal(json, job.outcome.signal);
  json.EndObject();
}

// A little more than the document will take (a drop takes about 250 bytes,
// a PID about 400, a signal sample about 40), so that a report with a long
// drop list is written into one block of memory instead of one grown by
// doubling, which holds twice the document for a moment.
std::size_t ReportSizeEstimate(const RunReport& report) {
  std::size_t bytes = 4096;
  for (const JobReport& job : report.jobs) {
    bytes += 1024 + job.outcome.drops.size() * 300 + job.pids.size() * 512 +
             job.outcome.signal.samples.size() * 48;
  }
  return bytes;
}

}  // namespace

std::string FormatRunReport(const RunReport& report, const std::string& programName) {
  JsonWriter json;
  json.Reserve(ReportSizeEstimate(report));
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
  json.EndObject();
  WriteArray(json, "jobs", report.jobs, WriteJob);
  json.EndObject();
  return json.Text();
}

}  // namespace kestrun
