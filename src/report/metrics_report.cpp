#include "report/metrics_report.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "report/metrics_exposition.h"
#include "support/real_text.h"

namespace kestrun {
namespace {

// One source over every job that read it.
struct SourceTotals {
  std::map<std::uint16_t, MetricsPid> pids;
  std::vector<MetricsStreamError> streamErrors;  // in the order the jobs gave them
  std::uint64_t readBytes = 0;
  std::uint64_t discardedBytes = 0;
  std::int64_t lastDropTime = 0;
  std::int64_t started = 0;
  bool running = false;
  std::optional<float> signalLevel;
};

void AddJob(SourceTotals& totals, const MetricsJob& job) {
  for (const MetricsPid& pid : job.pids) {
    MetricsPid& sum = totals.pids[pid.pid];
    sum.pid = pid.pid;
    sum.packets += pid.packets;
    sum.drops += pid.drops;
    sum.transportErrors += pid.transportErrors;
    sum.scrambled += pid.scrambled;
    sum.continuityErrors += pid.continuityErrors;
    // A counter has one series: the kind the PID was last known by (a PMT
    // read late names a PID that was "other" before).
    if (!pid.kind.empty()) sum.kind = pid.kind;
  }
  for (const MetricsStreamError& error : job.streamErrors) {
    auto known = std::find_if(totals.streamErrors.begin(), totals.streamErrors.end(),
                              [&](const MetricsStreamError& e) { return e.indicator == error.indicator; });
    if (known == totals.streamErrors.end()) {
      totals.streamErrors.push_back(error);
    } else {
      known->count += error.count;
    }
  }
  totals.readBytes += job.readBytes;
  totals.discardedBytes += job.discardedBytes;
  if (job.lastDropTime > totals.lastDropTime) totals.lastDropTime = job.lastDropTime;
  // The gauges are the latest job's.
  totals.started = job.started;
  totals.running = job.running;
  totals.signalLevel = job.signalLevel;
}

using Totals = std::map<std::string, SourceTotals>;

const std::string kOtherKind = "other";

struct PidCounter {
  const char* name;
  const char* help;
  std::uint64_t MetricsPid::*field;
};

constexpr PidCounter kPidCounters[] = {
    {"kestrun_packets_total", "Packets checked, by source and PID.", &MetricsPid::packets},
    {"kestrun_drops_total", "Drops counted by the continuity check, by source and PID.",
     &MetricsPid::drops},
    {"kestrun_continuity_errors_total",
     "Continuity errors by the MPEG-2 systems rule, by source and PID.", &MetricsPid::continuityErrors},
    {"kestrun_transport_errors_total",
     "Packets with the transport_error_indicator set, by source and PID.",
     &MetricsPid::transportErrors},
    {"kestrun_scrambled_packets_total", "Undamaged scrambled packets, by source and PID.",
     &MetricsPid::scrambled},
};

void WritePidCounters(ExpositionWriter& out, const Totals& totals) {
  for (const PidCounter& counter : kPidCounters) {
    out.Family(counter.name, "counter", counter.help);
    for (const auto& [source, sourceTotals] : totals) {
      for (const auto& [pid, values] : sourceTotals.pids) {
        const std::string label = PidLabel(pid);
        const std::string& kind = values.kind.empty() ? kOtherKind : values.kind;
        out.Sample(counter.name, {{"source", source}, {"pid", label}, {"kind", kind}}, values.*counter.field);
      }
    }
  }
}

void WriteSourceCounters(ExpositionWriter& out, const Totals& totals) {
  out.Family("kestrun_read_bytes_total", "counter", "Bytes read from the source.");
  for (const auto& [source, values] : totals) {
    out.Sample("kestrun_read_bytes_total", {{"source", source}}, values.readBytes);
  }
  out.Family("kestrun_discarded_bytes_total", "counter",
             "Bytes the tuner thread discarded because the checks fell behind.");
  for (const auto& [source, values] : totals) {
    out.Sample("kestrun_discarded_bytes_total", {{"source", source}}, values.discardedBytes);
  }
  out.Family("kestrun_stream_errors_total", "counter",
             "Stream errors (TR 101 290 indicators a recording can show), by source and indicator.");
  for (const auto& [source, values] : totals) {
    for (const MetricsStreamError& error : values.streamErrors) {
      out.Sample("kestrun_stream_errors_total", {{"source", source}, {"indicator", error.indicator}}, error.count);
    }
  }
}

void WriteGauges(ExpositionWriter& out, const Totals& totals) {
  out.Family("kestrun_signal_level", "gauge",
             "The tuner driver's latest signal level (usually C/N in dB).");
  for (const auto& [source, values] : totals) {
    if (values.signalLevel) {
      out.Sample("kestrun_signal_level", {{"source", source}}, RealText(*values.signalLevel));
    }
  }
  out.Family("kestrun_last_drop_timestamp_seconds", "gauge",
             "When the last drop was counted, in seconds since 1970.");
  for (const auto& [source, values] : totals) {
    if (values.lastDropTime > 0) {
      out.Sample("kestrun_last_drop_timestamp_seconds", {{"source", source}},
                 std::to_string(values.lastDropTime));
    }
  }
  out.Family("kestrun_job_start_timestamp_seconds", "gauge",
             "When the latest job on the source started, in seconds since 1970.");
  for (const auto& [source, values] : totals) {
    if (values.started > 0) {
      out.Sample("kestrun_job_start_timestamp_seconds", {{"source", source}},
                 std::to_string(values.started));
    }
  }
  out.Family("kestrun_job_running", "gauge", "1 while a job on the source runs, else 0.");
  for (const auto& [source, values] : totals) {
    out.Sample("kestrun_job_running", {{"source", source}}, values.running ? 1u : 0u);
  }
}

}  // namespace

std::string PidLabel(std::uint16_t pid) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(pid));
  return text;
}

std::string FormatMetrics(const std::vector<MetricsJob>& jobs) {
  Totals totals;
  for (const MetricsJob& job : jobs) AddJob(totals[job.source], job);
  ExpositionWriter out;
  WritePidCounters(out, totals);
  WriteSourceCounters(out, totals);
  WriteGauges(out, totals);
  return out.Text();
}

}  // namespace kestrun
