// The manifest's line format (see tsgen.h): a record word followed by
// key=value words in a fixed order.
#include <array>
#include <charconv>
#include <cstdio>
#include <map>
#include <sstream>

#include "tsgen/tsgen.h"

namespace kestrun::tsgen {
namespace {

constexpr std::array<std::string_view, 9> kKindNames = {
    "drop", "duplicate", "tei", "garbage", "pointer", "split", "adaptation-only", "prefix47",
    "scramble"};

std::string Hex(std::uint64_t value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*llX", width, static_cast<unsigned long long>(value));
  return text;
}

std::string Date(const std::optional<DateTime>& t) {
  if (!t) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d", t->year, t->month, t->day);
  return text;
}

std::string Time(const std::optional<DateTime>& t) {
  if (!t) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t->hour, t->minute, t->second);
  return text;
}

// A parsed line: its record word and its key=value words.
struct Line {
  std::string record;
  std::map<std::string, std::string, std::less<>> values;
};

std::optional<Line> SplitLine(const std::string& text) {
  std::istringstream words(text);
  Line line;
  if (!(words >> line.record)) return std::nullopt;
  std::string word;
  while (words >> word) {
    const std::size_t eq = word.find('=');
    if (eq == std::string::npos) {
      line.values[word] = "";
    } else {
      line.values[word.substr(0, eq)] = word.substr(eq + 1);
    }
  }
  return line;
}

// Reads a decimal or 0x-prefixed hexadecimal unsigned number.
bool Number(const Line& line, std::string_view key, std::uint64_t& out) {
  const auto it = line.values.find(key);
  if (it == line.values.end()) return false;
  std::string_view text = it->second;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return error == std::errc() && end == text.data() + text.size();
}

std::optional<DateTime> ParseDateTime(const Line& line) {
  const auto date = line.values.find("tot-date");
  const auto time = line.values.find("tot-time");
  if (date == line.values.end() || time == line.values.end() || date->second == "-") return std::nullopt;
  DateTime t;
  if (std::sscanf(date->second.c_str(), "%d/%d/%d", &t.year, &t.month, &t.day) != 3 ||
      std::sscanf(time->second.c_str(), "%d:%d:%d", &t.hour, &t.minute, &t.second) != 3) {
    return std::nullopt;
  }
  return t;
}

bool ParseInject(const Line& line, Manifest& m) {
  InjectionRecord r;
  std::uint64_t pid = 0, amount = 0;
  const auto kind = line.values.find("kind");
  if (kind == line.values.end() || !InjectKindFromName(kind->second)) return false;
  r.kind = *InjectKindFromName(kind->second);
  if (!Number(line, "pid", pid) || !Number(line, "index", r.pidIndex) ||
      !Number(line, "packet", r.packetIndex) || !Number(line, "amount", amount)) {
    return false;
  }
  r.pid = static_cast<std::uint16_t>(pid);
  r.amount = static_cast<std::uint32_t>(amount);
  std::uint64_t offset = 0;
  r.offset = Number(line, "offset", offset) ? static_cast<std::int64_t>(offset) : -1;
  m.injections.push_back(r);
  return true;
}

bool ParsePid(const Line& line, Manifest& m) {
  PidExpectation e;
  std::uint64_t pid = 0, pcr = 0, cc = 0;
  if (!Number(line, "pid", pid) || !Number(line, "checked", e.checked) ||
      !Number(line, "drops", e.drops) || !Number(line, "pcr", pcr) || !Number(line, "last-cc", cc) ||
      !Number(line, "tei", e.tei) || !Number(line, "scrambled", e.scrambled)) {
    return false;
  }
  e.pid = static_cast<std::uint16_t>(pid);
  e.pcr = pcr != 0;
  e.lastCc = static_cast<std::uint8_t>(cc);
  m.pids.push_back(e);
  return true;
}

bool ParseDamaged(const Line& line, Manifest& m) {
  DamagedExpectation d;
  std::uint64_t pid = 0;
  if (!Number(line, "pid", pid) || !Number(line, "tei", d.tei)) return false;
  d.pid = static_cast<std::uint16_t>(pid);
  m.damaged.push_back(d);
  return true;
}

bool ParseProgram(const Line& line, Manifest& m) {
  std::uint64_t number = 0, pmt = 0, pcr = 0;
  if (!Number(line, "number", number) || !Number(line, "pmt", pmt) || !Number(line, "pcr", pcr)) {
    return false;
  }
  m.programs.push_back({static_cast<std::uint16_t>(number), static_cast<std::uint16_t>(pmt),
                        static_cast<std::uint16_t>(pcr)});
  return true;
}

bool ParseStream(const Line& line, Manifest& m) {
  std::uint64_t program = 0, pid = 0, type = 0;
  if (!Number(line, "program", program) || !Number(line, "pid", pid) || !Number(line, "type", type)) {
    return false;
  }
  m.streams.push_back({static_cast<std::uint16_t>(program), static_cast<std::uint16_t>(pid),
                       static_cast<std::uint8_t>(type)});
  return true;
}

bool ParseDrop(const Line& line, Manifest& m) {
  DropExpectation d;
  std::uint64_t pid = 0, printed = 0;
  const auto time = line.values.find("time");
  if (!Number(line, "pid", pid) || !Number(line, "n", d.number) || !Number(line, "offset", d.offset) ||
      !Number(line, "ticks", d.ticks) || !Number(line, "line", printed) || time == line.values.end()) {
    return false;
  }
  d.pid = static_cast<std::uint16_t>(pid);
  d.time = time->second;
  d.line = printed != 0;
  d.tot = ParseDateTime(line);
  m.drops.push_back(d);
  return true;
}

}  // namespace

std::string_view InjectKindName(InjectKind kind) {
  return kKindNames[static_cast<std::size_t>(kind)];
}

std::optional<InjectKind> InjectKindFromName(std::string_view name) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i] == name) return static_cast<InjectKind>(i);
  }
  return std::nullopt;
}

std::string FormatManifest(const Manifest& m) {
  std::ostringstream out;
  out << "tsgen-manifest 1\n";
  out << "stream packet-size=" << m.packetSize << " packets=" << m.packets << " bytes=" << m.bytes
      << " drops=" << m.totalDrops << "\n";
  for (const InjectionRecord& r : m.injections) {
    out << "inject kind=" << InjectKindName(r.kind) << " pid=" << Hex(r.pid, 4) << " index=" << r.pidIndex
        << " packet=" << r.packetIndex << " amount=" << r.amount
        << " offset=" << (r.offset < 0 ? std::string("none") : Hex(static_cast<std::uint64_t>(r.offset), 1))
        << "\n";
  }
  for (const PidExpectation& e : m.pids) {
    out << "pid pid=" << Hex(e.pid, 4) << " checked=" << e.checked << " drops=" << e.drops
        << " pcr=" << (e.pcr ? 1 : 0) << " last-cc=" << Hex(e.lastCc, 1) << " tei=" << e.tei
        << " scrambled=" << e.scrambled << "\n";
  }
  for (const DamagedExpectation& d : m.damaged) {
    out << "damaged pid=" << Hex(d.pid, 4) << " tei=" << d.tei << "\n";
  }
  for (const ProgramExpectation& p : m.programs) {
    out << "program number=" << p.number << " pmt=" << Hex(p.pmtPid, 4) << " pcr=" << Hex(p.pcrPid, 4)
        << "\n";
  }
  for (const StreamExpectation& s : m.streams) {
    out << "es program=" << s.program << " pid=" << Hex(s.pid, 4) << " type=" << Hex(s.streamType, 2)
        << "\n";
  }
  for (const DropExpectation& d : m.drops) {
    out << "drop pid=" << Hex(d.pid, 4) << " n=" << d.number << " offset=" << Hex(d.offset, 1)
        << " time=" << d.time << " ticks=" << d.ticks << " line=" << (d.line ? 1 : 0)
        << " tot-date=" << Date(d.tot) << " tot-time=" << Time(d.tot) << "\n";
  }
  out << "end\n";
  return out.str();
}

std::optional<Manifest> ParseManifest(std::string_view text) {
  Manifest m;
  bool header = false;
  bool ended = false;
  std::istringstream lines{std::string(text)};
  std::string raw;
  while (std::getline(lines, raw)) {
    const std::optional<Line> line = SplitLine(raw);
    if (!line || line->record[0] == '#') continue;
    if (ended) return std::nullopt;
    bool ok = true;
    if (line->record == "tsgen-manifest") {
      ok = !header && line->values.count("1") == 1;
      header = true;
    } else if (!header) {
      ok = false;
    } else if (line->record == "stream") {
      std::uint64_t size = 0;
      ok = Number(*line, "packet-size", size) && Number(*line, "packets", m.packets) &&
           Number(*line, "bytes", m.bytes) && Number(*line, "drops", m.totalDrops);
      m.packetSize = static_cast<std::uint32_t>(size);
    } else if (line->record == "inject") {
      ok = ParseInject(*line, m);
    } else if (line->record == "pid") {
      ok = ParsePid(*line, m);
    } else if (line->record == "damaged") {
      ok = ParseDamaged(*line, m);
    } else if (line->record == "program") {
      ok = ParseProgram(*line, m);
    } else if (line->record == "es") {
      ok = ParseStream(*line, m);
    } else if (line->record == "drop") {
      ok = ParseDrop(*line, m);
    } else if (line->record == "end") {
      ended = true;
    } else {
      ok = false;
    }
    if (!ok) return std::nullopt;
  }
  if (!ended) return std::nullopt;
  return m;
}

}  // namespace kestrun::tsgen
