// Ready-made profiles and the checks a profile must pass before generation.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "tsgen/tsgen.h"

namespace kestrun::tsgen {
namespace {

constexpr std::uint16_t kFirstCarouselPid = 0x0300;

ElementaryStream Stream(std::uint16_t pid, std::uint8_t type, StreamKind kind, std::uint32_t rate) {
  ElementaryStream es;
  es.pid = pid;
  es.streamType = type;
  es.kind = kind;
  es.bitRate = rate;
  return es;
}

bool UserPid(unsigned pid) { return pid >= 0x0010 && pid <= 0x1FFE; }

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

std::string CheckTimes(const Profile& p) {
  if (p.packetSize != 188 && p.packetSize != 192) return "packet size must be 188 or 192";
  if (p.muxRate < 100'000 || p.muxRate > 1'000'000'000) return "mux rate must lie between 100 kbit/s and 1 Gbit/s";
  if (p.packetCount == 0 && !(std::isfinite(p.seconds) && p.seconds > 0 && p.seconds <= 1e7)) {
    return "duration must be a positive number of seconds (or give a packet count)";
  }
  if (p.firstPcr >= kClockModulus) return "first PCR must be below 2^33";
  if (p.psiIntervalMs == 0 || p.pcrIntervalMs == 0 || p.timeIntervalSeconds == 0) {
    return "repetition intervals must be positive";
  }
  const DateTime& t = p.startTime;
  if (t.year < 1970 || t.year > 2037 || !(AddSeconds(t, 0) == t) || t.hour > 23 ||
      t.minute > 59 || t.second > 59 || t.hour < 0 || t.minute < 0 || t.second < 0) {
    return "start time must be a valid date and time from 1970 to 2037";
  }
  if (p.localOffsetMinutes <= -24 * 60 || p.localOffsetMinutes >= 24 * 60) {
    return "local time offset must be less than 24 hours";
  }
  return {};
}

std::string CheckPrograms(const Profile& p) {
  if (p.programs.empty()) return "at least one program is needed";
  if (p.programs.size() > 200) return "at most 200 programs";
  std::set<unsigned> used = {kPatPid, kTimePid, kNullPid};
  std::set<unsigned> numbers;
  auto claim = [&used](unsigned pid, const char* what) -> std::string {
    if (!UserPid(pid)) return std::string(what) + " PID " + Hex(pid) + " is reserved or out of range";
    if (!used.insert(pid).second) return std::string(what) + " PID " + Hex(pid) + " is used twice";
    return {};
  };
  for (const ProgramSpec& program : p.programs) {
    if (program.programNumber == 0 || !numbers.insert(program.programNumber).second) {
      return "program numbers must be unique and not 0";
    }
    if (program.streams.size() > 100) return "at most 100 streams per program";
    if (std::string e = claim(program.pmtPid, "PMT"); !e.empty()) return e;
    bool pcrOnStream = false;
    for (const ElementaryStream& es : program.streams) {
      if (std::string e = claim(es.pid, "stream"); !e.empty()) return e;
      if (es.bitRate < 1000 || es.bitRate > p.muxRate) return "stream " + Hex(es.pid) + " has a bad bit rate";
      if (es.pid == program.pcrPid) {
        if (es.kind == StreamKind::Data) return "PCR cannot ride on data PID " + Hex(es.pid);
        pcrOnStream = true;
      }
    }
    if (program.pcrPid != kNullPid && !pcrOnStream) {
      if (std::string e = claim(program.pcrPid, "PCR"); !e.empty()) return e;
    }
  }
  return {};
}

std::string CheckInjections(const Profile& p) {
  for (const Injection& i : p.injections) {
    const std::string name(InjectKindName(i.kind));
    if (i.pid > 0x1FFF) return name + ": PID out of range";
    if (!(i.rate >= 0.0 && i.rate <= 1.0)) return name + ": rate must lie between 0 and 1";
    if (i.amount == 0 && i.kind != InjectKind::PointerField) return name + ": amount must be at least 1";
    if (i.kind == InjectKind::PointerField && i.amount > 150) return name + ": at most 150 filler bytes";
    if (i.kind == InjectKind::Garbage && i.amount > 65536) return name + ": at most 65536 bytes";
  }
  return {};
}

}  // namespace

Profile DefaultProfile() {
  Profile p;
  ProgramSpec program;
  program.programNumber = 1;
  program.pmtPid = 0x01F0;
  program.pcrPid = 0x01FF;
  program.streams = {Stream(0x0111, 0x02, StreamKind::Video, 5'000'000),
                     Stream(0x0112, 0x0F, StreamKind::Audio, 192'000)};
  p.programs.push_back(program);
  return p;
}

Profile DemoProfile() {
  Profile p = DefaultProfile();
  p.seconds = 3.0;
  p.timeIntervalSeconds = 1;
  // About 0.6 s and 1.8 s in: one lost packet, then a gap of three.
  p.injections = {{InjectKind::Drop, 0x0111, 2000, 0.0, 1}, {InjectKind::Drop, 0x0111, 6000, 0.0, 3}};
  return p;
}

Profile BenchmarkProfile() {
  Profile p;
  p.muxRate = 32'000'000;
  p.seconds = 60.0;
  ProgramSpec program;
  program.programNumber = 1;
  program.pmtPid = 0x01F0;
  program.pcrPid = 0x01FF;
  program.streams = {Stream(0x0111, 0x1B, StreamKind::Video, 20'000'000)};
  for (std::uint16_t pid = 0x0112; pid <= 0x0115; ++pid) {
    program.streams.push_back(Stream(pid, 0x0F, StreamKind::Audio, 256'000));
  }
  p.programs.push_back(program);
  p.tdt = false;
  p.timeIntervalSeconds = 5;
  p.injections = {{InjectKind::Drop, -1, 0, 0.0001, 1}};
  AddCarouselPids(p, 30);
  return p;
}

std::vector<std::uint16_t> ProfilePids(const Profile& profile) {
  std::set<std::uint16_t> pids = {kPatPid};
  if (profile.tdt || profile.tot) pids.insert(kTimePid);
  if (profile.nullFill) pids.insert(kNullPid);
  for (const ProgramSpec& program : profile.programs) {
    pids.insert(program.pmtPid);
    if (program.pcrPid != kNullPid) pids.insert(program.pcrPid);
    for (const ElementaryStream& es : program.streams) pids.insert(es.pid);
  }
  return {pids.begin(), pids.end()};
}

bool AddCarouselPids(Profile& profile, int pidCount) {
  if (profile.programs.empty()) return false;
  std::vector<std::uint16_t> pids = ProfilePids(profile);
  std::uint16_t candidate = kFirstCarouselPid;
  while (static_cast<int>(pids.size()) < pidCount) {
    while (candidate <= 0x1FFE && std::binary_search(pids.begin(), pids.end(), candidate)) ++candidate;
    if (candidate > 0x1FFE) return false;
    profile.programs.front().streams.push_back(Stream(candidate, 0x0D, StreamKind::Data, 100'000));
    pids.insert(std::lower_bound(pids.begin(), pids.end(), candidate), candidate);
  }
  return true;
}

std::string CheckProfile(const Profile& profile) {
  for (auto check : {CheckTimes, CheckPrograms, CheckInjections}) {
    if (std::string error = check(profile); !error.empty()) return error;
  }
  return {};
}

}  // namespace kestrun::tsgen
