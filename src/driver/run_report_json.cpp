// The report document. Its form is kept stable for the scripts that read
// it: members are only ever added, never renamed, removed or retyped.
#include <cstdio>

#include "driver/run_report.h"
#include "platform/platform.h"
#include "support/json_writer.h"
#include "ts/civil_date.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "0.0.0"
#endif

namespace kestrun {
namespace {

constexpr int kFormatVersion = 1;
constexpr std::int64_t kSecondsPerDay = 86400;

std::string DateTimeText(std::int64_t year, unsigned month, unsigned day, unsigned hour,
                         unsigned minute, unsigned second) {
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02u", static_cast<long long>(year),
                month, day, hour, minute, second);
  return text;
}

// Seconds since 1970 as a UTC date and time, e.g. 2026-12-07T15:33:09Z.
std::string UtcText(std::int64_t seconds) {
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  const CivilDate date = CivilFromDays(days);
  const auto secondOfDay = static_cast<unsigned>(rest);
  return DateTimeText(date.year, date.month, date.day, secondOfDay / 3600, secondOfDay / 60 % 60,
                      secondOfDay % 60) +
         "Z";
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

void OptionalText(JsonWriter& json, const char* key, const char* text) {
  json.Key(key);
  if (text != nullptr) {
    json.String(text);
  } else {
    json.Null();
  }
}

void WriteRoles(JsonWriter& json, const std::vector<PidRole>& roles) {
  json.Key("roles");
  json.BeginArray();
  for (const PidRole& role : roles) {
    json.BeginObject();
    json.Key("role");
    json.String(RoleName(role.kind));
    if (role.kind == PidRoleKind::Pmt || role.kind == PidRoleKind::Network ||
        role.kind == PidRoleKind::Pcr || role.kind == PidRoleKind::Elementary) {
      json.Key("program");
      json.Unsigned(role.programNumber);
    }
    if (role.kind == PidRoleKind::Elementary) {
      json.Key("streamType");
      json.Unsigned(role.streamType);
    }
    json.EndObject();
  }
  if (roles.empty()) {
    json.BeginObject();
    json.Key("role");
    json.String("other");
    json.EndObject();
  }
  json.EndArray();
}

void WritePid(JsonWriter& json, const PidReport& pid) {
  json.BeginObject();
  json.Key("pid");
  json.Unsigned(pid.pid);
  json.Key("checked");
  json.Unsigned(pid.checked);
  json.Key("drops");
  json.Unsigned(pid.drops);
  json.Key("lastCc");
  json.Unsigned(pid.lastCc);
  json.Key("pcrExempt");
  json.Bool(pid.pcrExempt);
  json.Key("transportErrors");
  json.Unsigned(pid.transportErrors);
  json.Key("scrambled");
  json.Unsigned(pid.scrambled);
  WriteRoles(json, pid.roles);
  json.EndObject();
}

void WriteDrop(JsonWriter& json, const DropEvent& drop) {
  json.BeginObject();
  json.Key("pid");
  json.Unsigned(drop.pid);
  json.Key("dropCount");
  json.Unsigned(drop.dropCount);
  json.Key("offset");
  json.Unsigned(drop.offset);
  json.Key("ticks");
  json.Unsigned(drop.ticks);
  json.Key("playTime");
  json.String(ClockText(drop.time));
  OptionalText(json, "broadcastTime", drop.hasTot ? LocalText(drop.tot).c_str() : nullptr);
  json.Key("reported");
  json.Bool(drop.reported);
  json.EndObject();
}

void WriteSource(JsonWriter& json, const JobReport& job) {
  const JobOutcome& outcome = job.outcome;
  json.Key("source");
  json.String(platform::TextToUtf8(job.source));
  json.Key("kind");
  json.String(KindName(outcome.kind));
  const bool file = outcome.kind == SourceKind::File && outcome.fileSize >= 0;
  json.Key("startOffset");
  json.Int(outcome.startOffset);
  json.Key("startPosition");
  json.Int(outcome.startPosition);
  json.Key("fileSize");
  if (file) {
    json.Int(outcome.fileSize);
  } else {
    json.Null();
  }
}

void WriteReading(JsonWriter& json, const JobReport& job) {
  const JobOutcome& outcome = job.outcome;
  const std::uint64_t framed = outcome.packetsBySize[1];
  const std::uint64_t packets = outcome.packetsBySize[0] + framed;
  json.Key("packetSize");
  if (packets == 0) {
    json.Null();
  } else {
    // Most packets of a 192-byte stream are framed so; a few may not be.
    json.Unsigned(framed * 2 > packets ? 192 : 188);
  }
  json.Key("packets");
  json.Unsigned(packets);
  json.Key("bytes");
  json.Unsigned(outcome.bytesRead);
  json.Key("end");
  json.String(EndName(job));
  OptionalText(json, "refusal", RefusalName(job.refusal));
}

void WriteJob(JsonWriter& json, const JobReport& job) {
  json.BeginObject();
  WriteSource(json, job);
  WriteReading(json, job);
  json.Key("dropTotal");
  json.Int(job.dropTotal);
  json.Key("pids");
  json.BeginArray();
  for (const PidReport& pid : job.pids) WritePid(json, pid);
  json.EndArray();
  json.Key("damagedOnlyPids");
  json.BeginArray();
  for (const DamagedPid& damaged : job.damagedOnly) {
    json.BeginObject();
    json.Key("pid");
    json.Unsigned(damaged.pid);
    json.Key("transportErrors");
    json.Unsigned(damaged.teiCount);
    json.EndObject();
  }
  json.EndArray();
  json.Key("drops");
  json.BeginArray();
  for (const DropEvent& drop : job.outcome.drops) WriteDrop(json, drop);
  json.EndArray();
  json.Key("pcrPids");
  json.BeginArray();
  for (const std::uint16_t pid : job.pcrPids) json.Unsigned(pid);
  json.EndArray();
  OptionalText(json, "broadcastTime",
               job.hasBroadcastTime ? LocalText(job.broadcastTime).c_str() : nullptr);
  json.EndObject();
}

}  // namespace

std::string FormatRunReport(const RunReport& report, const std::string& programName) {
  JsonWriter json;
  json.BeginObject();
  json.Key("format");
  json.String("kestrun-report");
  json.Key("formatVersion");
  json.Int(kFormatVersion);
  json.Key("program");
  json.BeginObject();
  json.Key("name");
  json.String(platform::TextToUtf8(programName));
  json.Key("version");
  json.String(KESTRUN_VERSION);
  json.EndObject();
  json.Key("run");
  json.BeginObject();
  json.Key("started");
  json.String(UtcText(report.started));
  json.Key("ended");
  json.String(UtcText(report.ended));
  json.Key("exitCode");
  json.Int(report.exitCode);
  json.Key("dropTotal");
  json.Int(report.dropTotal);
  json.EndObject();
  json.Key("jobs");
  json.BeginArray();
  for (const JobReport& job : report.jobs) WriteJob(json, job);
  json.EndArray();
  json.EndObject();
  return json.Text();
}

}  // namespace kestrun
