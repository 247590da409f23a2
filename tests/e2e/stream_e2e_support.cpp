#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "e2e/stream_e2e.h"
#include "support/catalog.h"
#include "support/format_text.h"
#include "ts/ts_test_packets.h"
#include "tsgen/receiver_model.h"

namespace kestrun::stream_e2e {
namespace {

std::string Printf(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string Join(const std::vector<std::string>& fields) {
  std::string joined;
  for (const std::string& field : fields) {
    if (field.empty()) continue;
    if (!joined.empty()) joined += " , ";
    joined += field;
  }
  return joined;
}

std::string SummaryLine(const tsgen::PidExpectation& pid) {
  const auto drops = static_cast<unsigned long long>(pid.drops);
  return Printf("0x%04X : 0x%02X : %llu Drop%s : %llu Total ", unsigned{pid.pid},
                unsigned{pid.lastCc}, drops, drops == 0 || drops == 1 ? "" : "s",
                static_cast<unsigned long long>(pid.checked)) +
         (pid.pcr ? text::kWordExempt : "") + "\r\n";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string DropHeader(const std::string& shownPath) {
  return kNotice + "DROP " + shownPath + "\r\n";
}

std::string DropLine(std::uint16_t pid, std::uint64_t count, const std::string& playTime,
                     const std::string& tot, const std::string& offset) {
  return Printf("DROP : PID 0x%04X , %llu Drop , ", unsigned{pid},
                static_cast<unsigned long long>(count)) +
         Join({playTime, tot, offset}) + " \r\n";
}

std::string PlayTime(const std::string& hmsms) { return "PCR " + hmsms; }

std::string TotField(const tsgen::DateTime& t) {
  return Printf("TOT %04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
}

std::string OffsetField(std::uint64_t offset) {
  return Printf("+0x%llX", static_cast<unsigned long long>(offset));
}

std::string Closing(int total) { return FormatText(text::kMsgClosing, total); }

std::string SummaryLine(int pid, int lastCc, long long drops, long long total) {
  return FormatText(text::kFmtPidSummary, pid, lastCc, drops, drops == 0 || drops == 1 ? "" : "s",
                    total, "");
}

std::string SummaryBlock(const std::string& source, const std::string& lines) {
  return FormatText(text::kFmtDropHeader, source.c_str()) + lines + "\r\n";
}

std::string WrapLine(const tsgen::DateTime& t) {
  return Printf("PCR Wrap-around %04d/%02d/%02d %02d:%02d:%02d\r\n", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
}

SourceText FileSourceText(const std::string& shownPath, const tsgen::Manifest& manifest,
                          const std::string& wrapSummary) {
  SourceText source;
  std::string lines;
  for (const tsgen::DropExpectation& drop : manifest.drops) {
    if (!drop.line) continue;
    lines += DropLine(drop.pid, drop.number, PlayTime(drop.time),
                      drop.tot ? TotField(*drop.tot) : "", OffsetField(drop.offset));
  }
  std::string record = lines.empty() ? "" : DropHeader(shownPath) + lines;
  std::string summary;
  if (!manifest.pids.empty()) {
    summary = wrapSummary;
    summary += lines.empty() ? DropHeader(shownPath) : "\r\n";
    for (const tsgen::PidExpectation& pid : manifest.pids) summary += SummaryLine(pid);
    summary += "\r\n";
  }
  source.console = record + "\n" + summary;
  source.log = record + summary;
  source.drops = static_cast<int>(manifest.totalDrops);
  return source;
}

RunText JoinSources(const std::vector<SourceText>& sources) {
  RunText run;
  for (const SourceText& source : sources) {
    run.console += source.console;
    run.logs.push_back(source.log);
    run.exitCode += source.drops;
  }
  run.console += Closing(run.exitCode);
  if (!run.logs.empty()) run.logs.back() += Closing(run.exitCode);
  run.exitCode = std::min(run.exitCode, 255);
  return run;
}

GeneratedStream Generate(const testing::TempDir& dir, const std::string& name,
                         const std::vector<std::string>& options) {
  GeneratedStream stream;
  const std::string path = dir.File(name);
  const std::string manifestPath = path + ".manifest";
  std::vector<std::string> argv = {TSGEN_BIN, "-q", "-o", path, "-m", manifestPath};
  argv.insert(argv.end(), options.begin(), options.end());
  const testing::ProcessResult result = testing::RunProcess(argv);
  if (result.exitCode != 0) {
    ADD_FAILURE() << "tsgen failed: " << result.err;
    return stream;
  }
  const std::optional<tsgen::Manifest> manifest = tsgen::ParseManifest(ReadAll(manifestPath));
  if (!manifest) {
    ADD_FAILURE() << "unreadable manifest " << manifestPath;
    return stream;
  }
  stream.path = path;
  stream.bytes = ReadAll(path);
  stream.manifest = *manifest;
  return stream;
}

tsgen::Manifest ModelOf(const std::string& bytes, std::size_t from) {
  tsgen::ReceiverModel model;
  if (from < bytes.size()) {
    model.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()) + from, bytes.size() - from);
  }
  model.Finish();
  tsgen::Manifest manifest;
  model.Report(manifest);
  for (tsgen::DropExpectation& drop : manifest.drops) drop.offset += from;
  return manifest;
}

tsgen::DateTime TotAt(const TimedStream& timing, int moment) {
  return tsgen::AddSeconds(timing.start, static_cast<std::int64_t>(timing.stepTicks) * moment / 90000);
}

std::string BuildTimedStream(const TimedStream& timing) {
  using namespace ts_test;
  std::string stream;
  const auto add = [&stream](const Packet& packet) {
    stream.append(reinterpret_cast<const char*>(packet.data()), packet.size());
  };
  const Bytes pat = PatSection({{1, 0x01F0}});
  const Bytes pmt = PmtSection(1, 0x01FF);
  int videoCc = 0;
  for (int k = 0; k < timing.moments; ++k) {
    const auto cc = static_cast<std::uint8_t>(k & 0x0F);
    const std::uint64_t pcr = (timing.firstPcr + timing.stepTicks * k) % tsgen::kClockModulus;
    add(PcrPacket(0x01FF, cc, pcr));
    add(SectionPackets(kPatPid, pat, cc)[0]);
    add(SectionPackets(0x01F0, pmt, cc)[0]);
    add(TimePacket(kTotTableId, tsgen::EncodeUtcTime(TotAt(timing, k)), cc));
    if (timing.drops.count(k) != 0) ++videoCc;
    add(CcPacket(0x0111, static_cast<std::uint8_t>(videoCc++ & 0x0F)));
  }
  return stream;
}

std::string WithoutProgress(const std::string& console, int* progressLines) {
  // A progress line is "－ " and a percentage or a play time, ended by a
  // lone "\r"; the summary's "\n" may follow it directly.
  const auto isProgress = [&console](std::size_t at) {
    if (console.compare(at, kNotice.size(), kNotice) != 0) return false;
    std::size_t field = at + kNotice.size();
    if (console.compare(field, 4, "PCR ") == 0) field += 4;
    return field < console.size() && console[field] >= '0' && console[field] <= '9';
  };
  std::string out;
  int count = 0;
  std::size_t at = console.compare(0, 2, "\r\n") == 0 ? 2 : 0;
  while (at < console.size()) {
    if (isProgress(at)) {
      ++count;
      at = console.find('\r', at);
      if (at == std::string::npos) break;
      ++at;
      if (console.compare(at, 2, "\r\n") == 0) at += 2;
      continue;
    }
    const std::size_t lineEnd = console.find('\n', at);
    const std::size_t next = lineEnd == std::string::npos ? console.size() : lineEnd + 1;
    out.append(console, at, next - at);
    at = next;
  }
  if (progressLines != nullptr) *progressLines = count;
  return out;
}

}  // namespace kestrun::stream_e2e
