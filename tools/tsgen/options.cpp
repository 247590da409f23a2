#include "tsgen/options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

namespace kestrun::tsgen {
namespace {

bool ParseUnsigned(std::string_view text, std::uint64_t& out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return error == std::errc() && end == text.data() + text.size();
}

bool ParseDouble(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && std::isfinite(out);
}

// A number with an optional k/M/G suffix (powers of 1000, or of 1024 when
// `binary`).
bool ParseScaled(std::string text, bool binary, std::uint64_t& out) {
  std::uint64_t scale = 1;
  const std::uint64_t step = binary ? 1024 : 1000;
  if (!text.empty()) {
    switch (text.back()) {
      case 'k': case 'K': scale = step; break;
      case 'm': case 'M': scale = step * step; break;
      case 'g': case 'G': scale = step * step * step; break;
      default: break;
    }
    if (scale != 1) text.pop_back();
  }
  double value = 0;
  if (!ParseDouble(text, value) || value < 0 || value * static_cast<double>(scale) > 1e18) return false;
  out = static_cast<std::uint64_t>(std::llround(value * static_cast<double>(scale)));
  return true;
}

bool ParsePid(const std::string& text, std::uint16_t& pid) {
  std::uint64_t value = 0;
  if (!ParseUnsigned(text, value) || value > 0x1FFF) return false;
  pid = static_cast<std::uint16_t>(value);
  return true;
}

std::vector<std::string> SplitOn(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1) {
    parts.push_back(text.substr(from, at - from));
  }
  parts.push_back(text.substr(from));
  return parts;
}

// PID[:TYPE[:RATE]]
bool ParseStream(const std::string& text, ElementaryStream& es) {
  const std::vector<std::string> parts = SplitOn(text, ':');
  std::uint64_t value = 0;
  if (parts.size() > 3 || !ParsePid(parts[0], es.pid)) return false;
  if (parts.size() > 1) {
    if (!ParseUnsigned(parts[1], value) || value > 0xFF) return false;
    es.streamType = static_cast<std::uint8_t>(value);
  }
  if (parts.size() > 2) {
    if (!ParseScaled(parts[2], false, value) || value > 0xFFFFFFFFu) return false;
    es.bitRate = static_cast<std::uint32_t>(value);
  }
  return true;
}

bool ParseDateTime(const std::string& text, DateTime& t) {
  char separator = 0;
  char tail = 0;
  const int n = std::sscanf(text.c_str(), "%d-%d-%d%c%d:%d:%d%c", &t.year, &t.month, &t.day, &separator,
                            &t.hour, &t.minute, &t.second, &tail);
  return n == 7 && (separator == 'T' || separator == ' ');
}

// Everything an option may change while the arguments are read; program
// copies, the PCR on video and the PID count are settled at the end.
struct Draft {
  CommandLine line;
  std::uint64_t programs = 1;
  bool pcrOnVideo = false;
  bool audioGiven = false;
  std::uint64_t pidTarget = 0;
  std::uint64_t sizeBytes = 0;
};

ProgramSpec& FirstProgram(Draft& d) { return d.line.profile.programs.front(); }

ElementaryStream* FirstOfKind(ProgramSpec& program, StreamKind kind) {
  for (ElementaryStream& es : program.streams) {
    if (es.kind == kind) return &es;
  }
  return nullptr;
}

using Handler = std::function<bool(Draft&, const std::string&)>;

struct Option {
  bool takesValue;
  Handler handle;
};

Handler Injector(InjectKind kind, std::uint32_t defaultAmount) {
  return [kind, defaultAmount](Draft& d, const std::string& v) {
    const std::optional<Injection> injection = ParsePlace(kind, v, defaultAmount);
    if (injection) d.line.profile.injections.push_back(*injection);
    return injection.has_value();
  };
}

Handler Count(std::uint64_t Draft::*field) {
  return [field](Draft& d, const std::string& v) { return ParseUnsigned(v, d.*field); };
}

template <typename T>
Handler Narrow(T Profile::*field, std::uint64_t low, std::uint64_t high) {
  return [field, low, high](Draft& d, const std::string& v) {
    std::uint64_t value = 0;
    if (!ParseUnsigned(v, value) || value < low || value > high) return false;
    d.line.profile.*field = static_cast<T>(value);
    return true;
  };
}

Handler Flag(bool Profile::*field, bool value) {
  return [field, value](Draft& d, const std::string&) {
    d.line.profile.*field = value;
    return true;
  };
}

const std::map<std::string, Option, std::less<>>& Options() {
  static const std::map<std::string, Option, std::less<>> options = {
      {"--output", {true, [](Draft& d, const std::string& v) { d.line.output = v; return !v.empty(); }}},
      {"--manifest", {true, [](Draft& d, const std::string& v) { d.line.manifestPath = v; return !v.empty(); }}},
      {"--help", {false, [](Draft& d, const std::string&) { d.line.help = true; return true; }}},
      {"--quiet", {false, [](Draft& d, const std::string&) { d.line.quiet = true; return true; }}},
      {"--preset", {true, [](Draft&, const std::string& v) { return v == "default" || v == "demo" || v == "bench"; }}},
      {"--demo", {false, [](Draft&, const std::string&) { return true; }}},
      {"--seconds", {true, [](Draft& d, const std::string& v) { return ParseDouble(v, d.line.profile.seconds); }}},
      {"--packets", {true, [](Draft& d, const std::string& v) { return ParseUnsigned(v, d.line.profile.packetCount); }}},
      {"--size", {true, [](Draft& d, const std::string& v) { return ParseScaled(v, true, d.sizeBytes); }}},
      {"--rate", {true, [](Draft& d, const std::string& v) {
         std::uint64_t rate = 0;
         if (!ParseScaled(v, false, rate) || rate > 0xFFFFFFFFu) return false;
         d.line.profile.muxRate = static_cast<std::uint32_t>(rate);
         return true;
       }}},
      {"--packet-size", {true, Narrow(&Profile::packetSize, 188, 192)}},
      {"--first-pcr", {true, [](Draft& d, const std::string& v) { return ParseUnsigned(v, d.line.profile.firstPcr); }}},
      {"--wrap-after", {true, [](Draft& d, const std::string& v) {
         double seconds = 0;
         if (!ParseDouble(v, seconds) || seconds <= 0 || seconds * kTicksPerSecond >= kClockModulus) return false;
         d.line.profile.firstPcr = kClockModulus - static_cast<std::uint64_t>(std::llround(seconds * kTicksPerSecond));
         return true;
       }}},
      {"--psi-interval", {true, Narrow(&Profile::psiIntervalMs, 1, 60'000)}},
      {"--pcr-interval", {true, Narrow(&Profile::pcrIntervalMs, 1, 60'000)}},
      {"--time-interval", {true, Narrow(&Profile::timeIntervalSeconds, 1, 86'400)}},
      {"--start-time", {true, [](Draft& d, const std::string& v) { return ParseDateTime(v, d.line.profile.startTime); }}},
      {"--local-offset", {true, [](Draft& d, const std::string& v) {
         const bool negative = !v.empty() && v[0] == '-';
         std::uint64_t minutes = 0;
         if (!ParseUnsigned(negative ? v.substr(1) : v, minutes) || minutes >= 24 * 60) return false;
         d.line.profile.localOffsetMinutes = static_cast<int>(minutes) * (negative ? -1 : 1);
         return true;
       }}},
      {"--no-tdt", {false, Flag(&Profile::tdt, false)}},
      {"--no-tot", {false, Flag(&Profile::tot, false)}},
      {"--no-null", {false, Flag(&Profile::nullFill, false)}},
      {"--tsid", {true, Narrow(&Profile::transportStreamId, 0, 0xFFFF)}},
      {"--seed", {true, [](Draft& d, const std::string& v) { return ParseUnsigned(v, d.line.profile.seed); }}},
      {"--programs", {true, Count(&Draft::programs)}},
      {"--pids", {true, Count(&Draft::pidTarget)}},
      {"--program-number", {true, [](Draft& d, const std::string& v) {
         std::uint64_t n = 0;
         if (!ParseUnsigned(v, n) || n == 0 || n > 0xFFFF) return false;
         FirstProgram(d).programNumber = static_cast<std::uint16_t>(n);
         return true;
       }}},
      {"--pmt-pid", {true, [](Draft& d, const std::string& v) { return ParsePid(v, FirstProgram(d).pmtPid); }}},
      {"--pcr-pid", {true, [](Draft& d, const std::string& v) {
         d.pcrOnVideo = false;
         return ParsePid(v, FirstProgram(d).pcrPid);
       }}},
      {"--pcr-on-video", {false, [](Draft& d, const std::string&) { d.pcrOnVideo = true; return true; }}},
      {"--video", {true, [](Draft& d, const std::string& v) {
         ProgramSpec& program = FirstProgram(d);
         ElementaryStream* video = FirstOfKind(program, StreamKind::Video);
         ElementaryStream es = video != nullptr ? *video : ElementaryStream{};
         if (!ParseStream(v, es)) return false;
         if (video != nullptr) *video = es;
         else program.streams.insert(program.streams.begin(), es);
         return true;
       }}},
      {"--audio", {true, [](Draft& d, const std::string& v) {
         ProgramSpec& program = FirstProgram(d);
         if (!d.audioGiven) {  // the first --audio replaces the preset's audio
           std::erase_if(program.streams, [](const ElementaryStream& es) { return es.kind == StreamKind::Audio; });
           d.audioGiven = true;
         }
         ElementaryStream es{0, 0x0F, StreamKind::Audio, 192'000};
         if (!ParseStream(v, es)) return false;
         program.streams.push_back(es);
         return true;
       }}},
      {"--data", {true, [](Draft& d, const std::string& v) {
         ElementaryStream es{0, 0x0D, StreamKind::Data, 100'000};
         if (!ParseStream(v, es)) return false;
         FirstProgram(d).streams.push_back(es);
         return true;
       }}},
      {"--drop", {true, Injector(InjectKind::Drop, 1)}},
      {"--dup", {true, Injector(InjectKind::Duplicate, 1)}},
      {"--tei", {true, Injector(InjectKind::TransportError, 1)}},
      {"--garbage", {true, Injector(InjectKind::Garbage, 7)}},
      {"--pointer", {true, Injector(InjectKind::PointerField, 3)}},
      {"--split-pmt", {true, Injector(InjectKind::SplitSection, 1)}},
      {"--adaptation-only", {true, Injector(InjectKind::AdaptationOnly, 1)}},
      {"--prefix47", {true, Injector(InjectKind::Prefix47, 1)}},
      {"--scramble", {true, Injector(InjectKind::Scrambled, 1)}},
      {"--loss", {true, [](Draft& d, const std::string& v) {
         double percent = 0;
         if (!ParseDouble(v, percent) || percent < 0 || percent > 100) return false;
         // A rate of 0 would read as "at packet 0"; no loss means no injection.
         if (percent > 0) d.line.profile.injections.push_back({InjectKind::Drop, -1, 0, percent / 100.0, 1});
         return true;
       }}},
  };
  return options;
}

const std::map<std::string, std::string, std::less<>> kShortNames = {
    {"-o", "--output"}, {"-m", "--manifest"}, {"-h", "--help"}, {"-q", "--quiet"},
    {"-s", "--seconds"}, {"-n", "--packets"}, {"-r", "--rate"}};

Profile PresetProfile(const std::string& name) {
  if (name == "demo") return DemoProfile();
  if (name == "bench") return BenchmarkProfile();
  return DefaultProfile();
}

// Program k (from 0) of --programs N copies the first with PIDs moved on.
void CopyPrograms(Profile& profile, std::uint64_t count) {
  const ProgramSpec first = profile.programs.front();
  for (std::uint64_t k = 1; k < count; ++k) {
    ProgramSpec copy = first;
    const auto shift = static_cast<std::uint16_t>(0x20 * k);
    copy.programNumber = static_cast<std::uint16_t>(first.programNumber + k);
    copy.pmtPid = static_cast<std::uint16_t>(first.pmtPid + k);
    if (copy.pcrPid != kNullPid) copy.pcrPid = static_cast<std::uint16_t>(copy.pcrPid + shift);
    for (ElementaryStream& es : copy.streams) es.pid = static_cast<std::uint16_t>(es.pid + shift);
    profile.programs.push_back(copy);
  }
}

bool Settle(Draft& d, std::string& error) {
  Profile& profile = d.line.profile;
  if (d.pcrOnVideo) {
    const ElementaryStream* video = FirstOfKind(FirstProgram(d), StreamKind::Video);
    if (video == nullptr) {
      error = "--pcr-on-video needs a video stream";
      return false;
    }
    FirstProgram(d).pcrPid = video->pid;
  }
  if (d.programs < 1 || d.programs > 200) {
    error = "--programs must lie between 1 and 200";
    return false;
  }
  CopyPrograms(profile, d.programs);
  if (d.pidTarget > 0 && !AddCarouselPids(profile, static_cast<int>(std::min<std::uint64_t>(d.pidTarget, 8192)))) {
    error = "no free PIDs left for --pids";
    return false;
  }
  if (d.sizeBytes > 0) profile.packetCount = std::max<std::uint64_t>(1, d.sizeBytes / profile.packetSize);
  return true;
}

}  // namespace

std::optional<Injection> ParsePlace(InjectKind kind, const std::string& text, std::uint32_t defaultAmount) {
  Injection injection;
  injection.kind = kind;
  injection.amount = defaultAmount;
  const std::vector<std::string> parts = SplitOn(text, ',');
  if (parts.size() > 2) return std::nullopt;
  std::uint64_t value = 0;
  if (parts.size() == 2) {
    if (!ParseUnsigned(parts[1], value) || value > 0xFFFFFFFFu) return std::nullopt;
    injection.amount = static_cast<std::uint32_t>(value);
  }
  std::string place = parts[0];
  const std::size_t at = place.find('@');
  if (at != std::string::npos) {
    std::uint16_t pid = 0;
    if (at > 0 && !ParsePid(place.substr(0, at), pid)) return std::nullopt;
    if (at > 0) injection.pid = pid;
    place = place.substr(at + 1);
  } else if (place.empty() || place.back() != '%') {
    return std::nullopt;  // a bare number would be ambiguous
  }
  if (!place.empty() && place.back() == '%') {
    double percent = 0;
    if (!ParseDouble(place.substr(0, place.size() - 1), percent) || percent <= 0 || percent > 100) {
      return std::nullopt;
    }
    injection.rate = percent / 100.0;
  } else if (!ParseUnsigned(place, injection.index)) {
    return std::nullopt;
  }
  return injection;
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error) {
  // The preset comes first, whatever its place, so that the other options
  // change it.
  std::string preset = "default";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--demo") preset = "demo";
    if (args[i] == "--preset" && i + 1 < args.size()) preset = args[i + 1];
    if (args[i].starts_with("--preset=")) preset = args[i].substr(9);
  }
  Draft draft;
  draft.line.profile = PresetProfile(preset);
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    if (const auto alias = kShortNames.find(name); alias != kShortNames.end()) name = alias->second;
    const auto option = Options().find(name);
    if (option == Options().end()) {
      error = "unknown option " + args[i];
      return std::nullopt;
    }
    if (option->second.takesValue && !value) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    }
    if (!option->second.takesValue && value) {
      error = name + " takes no value";
      return std::nullopt;
    }
    if (!option->second.handle(draft, value.value_or(""))) {
      error = "bad value for " + name + ": " + value.value_or("");
      return std::nullopt;
    }
  }
  if (draft.line.help) return draft.line;
  if (!Settle(draft, error)) return std::nullopt;
  return draft.line;
}

std::string UsageText() {
  return R"(Usage: tsgen [options] -o FILE
Writes an MPEG-2 transport stream for tests, demos and benchmarks.

Output
  -o, --output FILE        stream file ('-' for standard output)
  -m, --manifest FILE      also write what was injected and what a checker finds
  -q, --quiet              no summary line on standard error
      --preset NAME        start from: default, demo or bench (default: default)
      --demo               same as --preset demo (3 s, two drops on video)
  -h, --help               this text

Size and timing
  -s, --seconds S          stream time to write (default 10)
  -n, --packets N          stop after N packets instead
      --size BYTES         stop after about BYTES bytes (suffix K, M, G: 1024-based)
  -r, --rate BITS          mux rate in bit/s (suffix k, M, G; default 8M)
      --packet-size N      188, or 192 with a 4-byte arrival-time prefix
      --first-pcr TICKS    first PCR base in 90 kHz ticks (default 900000)
      --wrap-after S       first PCR S seconds before the 33-bit wrap-around
      --psi-interval MS    PAT/PMT repetition (default 100)
      --pcr-interval MS    PCR repetition (default 40)
      --time-interval S    TDT/TOT repetition (default 5)
      --start-time T       first TDT/TOT time, YYYY-MM-DDTHH:MM:SS
      --local-offset MIN   local time offset in the TOT, minutes (default 540)
      --no-tdt, --no-tot   leave out the TDT or the TOT
      --no-null            no null packets (the rate is no longer constant)

Programs (the options change the first program)
      --tsid N             transport_stream_id (default 1)
      --program-number N   (default 1)
      --pmt-pid PID        (default 0x01F0)
      --pcr-pid PID        PCR-only PID (default 0x01FF; 0x1FFF: no PCR)
      --pcr-on-video       PCR in the adaptation fields of the video PID
      --video PID[:TYPE[:RATE]]  the video stream (default 0x0111:0x02:5M)
      --audio PID[:TYPE[:RATE]]  an audio stream; the first replaces the preset's
      --data PID[:RATE]    a data-carousel PID
      --pids N             add data-carousel PIDs until the stream has N PIDs
      --programs N         N programs: copies of the first, PMT PID + k,
                           other PIDs + 0x20 * k

Faults (WHERE: PID@INDEX = that PID's packet INDEX (from 0), @INDEX = the
stream's packet INDEX, RATE% or PID@RATE% = at random; ",N" sets the amount)
      --drop WHERE[,N]     omit N packets of the PID in a row (default 1)
      --dup WHERE          write the packet twice
      --tei WHERE          set transport_error_indicator
      --garbage WHERE[,N]  N bytes (default 7) after the packet
      --pointer WHERE[,N]  pointer_field N (default 3) and filler before the
                           next table section at or after WHERE
      --split-pmt WHERE    spread the next PMT section over two packets
      --adaptation-only WHERE  an adaptation-only packet before the packet
      --prefix47 WHERE     first prefix byte 0x47 (192-byte packets)
      --scramble WHERE     transport_scrambling_control '10' (scrambled)
      --loss PERCENT       random packet loss over all PIDs, e.g. 0.01
      --seed N             seed for the random faults (default 1)
)";
}

}  // namespace kestrun::tsgen
