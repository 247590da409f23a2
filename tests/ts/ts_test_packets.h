// Small builders for transport stream packets, sections and the local-time
// rules used by the TS analysis tests.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "support/system_time.h"
#include "ts/civil_date.h"
#include "ts/dispatch.h"
#include "ts/ts_context.h"

namespace kestrun::ts_test {

using Packet = std::array<std::uint8_t, kTsPacketSize>;
using Bytes = std::vector<std::uint8_t>;

struct PacketFields {
  std::uint16_t pid = 0x0100;
  std::uint8_t cc = 0;
  bool unitStart = false;
  bool transportError = false;
  std::uint8_t adaptationControl = 1;  // 1 payload, 2 adaptation, 3 both
  // adaptation_field_length; when absent: 7 with a PCR, 183 without payload,
  // else 0.
  std::optional<std::uint8_t> adaptationLength;
  std::optional<std::uint64_t> pcr;  // 33-bit base
  Bytes payload;                     // copied after the header; 0xFF after it
};

inline Packet MakePacket(const PacketFields& f) {
  Packet p;
  p.fill(0xFF);
  p[0] = kSyncByte;
  p[1] = static_cast<std::uint8_t>((f.transportError ? 0x80 : 0) | (f.unitStart ? 0x40 : 0) |
                                   ((f.pid >> 8) & 0x1F));
  p[2] = static_cast<std::uint8_t>(f.pid & 0xFF);
  p[3] = static_cast<std::uint8_t>((f.adaptationControl & 3) << 4 | (f.cc & 0x0F));
  std::size_t at = 4;
  if ((f.adaptationControl & 2) != 0) {
    const std::uint8_t length = f.adaptationLength.value_or(
        f.pcr ? 7 : ((f.adaptationControl & 1) != 0 ? 0 : 183));
    p[4] = length;
    if (length > 0) p[5] = f.pcr ? 0x10 : 0x00;
    if (f.pcr && length >= 7) {
      const std::uint64_t base = *f.pcr;
      p[6] = static_cast<std::uint8_t>(base >> 25);
      p[7] = static_cast<std::uint8_t>(base >> 17);
      p[8] = static_cast<std::uint8_t>(base >> 9);
      p[9] = static_cast<std::uint8_t>(base >> 1);
      p[10] = static_cast<std::uint8_t>((base & 1) << 7 | 0x7E);
      p[11] = 0x00;
    }
    at = 5 + static_cast<std::size_t>(length);
  }
  for (std::size_t i = 0; i < f.payload.size() && at + i < kTsPacketSize; ++i) {
    p[at + i] = f.payload[i];
  }
  return p;
}

inline Packet CcPacket(std::uint16_t pid, std::uint8_t cc) {
  PacketFields f;
  f.pid = pid;
  f.cc = cc;
  return MakePacket(f);
}

inline void PutTimestamp(Bytes& out, std::uint8_t prefix, std::uint64_t value) {
  out.push_back(static_cast<std::uint8_t>(prefix << 4 | ((value >> 30) & 7) << 1 | 1));
  out.push_back(static_cast<std::uint8_t>(value >> 22));
  out.push_back(static_cast<std::uint8_t>((value >> 15) << 1 | 1));
  out.push_back(static_cast<std::uint8_t>(value >> 7));
  out.push_back(static_cast<std::uint8_t>(value << 1 | 1));
}

// The start of a PES packet: start code, stream_id, length, flags, stamps.
inline Bytes PesHeader(std::uint8_t streamId, std::optional<std::uint64_t> pts,
                       std::optional<std::uint64_t> dts = std::nullopt) {
  Bytes out{0x00, 0x00, 0x01, streamId, 0x00, 0x00};
  const std::uint8_t flags = pts ? (dts ? 3 : 2) : 0;
  out.push_back(0x80);
  out.push_back(static_cast<std::uint8_t>(flags << 6));
  out.push_back(static_cast<std::uint8_t>(flags == 3 ? 10 : flags == 2 ? 5 : 0));
  if (pts) PutTimestamp(out, dts ? 3 : 2, *pts);
  if (dts) PutTimestamp(out, 1, *dts);
  return out;
}

inline Packet PesPacket(std::uint16_t pid, std::uint8_t cc, std::optional<std::uint64_t> pts,
                        std::optional<std::uint64_t> dts = std::nullopt) {
  PacketFields f;
  f.pid = pid;
  f.cc = cc;
  f.unitStart = true;
  f.payload = PesHeader(0xE0, pts, dts);
  return MakePacket(f);
}

inline Packet PcrPacket(std::uint16_t pid, std::uint8_t cc, std::uint64_t pcr) {
  PacketFields f;
  f.pid = pid;
  f.cc = cc;
  f.adaptationControl = 2;
  f.adaptationLength = 183;
  f.pcr = pcr;
  return MakePacket(f);
}

// table_id, section_length, body, CRC_32 (correct unless told otherwise).
inline Bytes MakeSection(std::uint8_t tableId, const Bytes& body) {
  const std::size_t sectionLength = body.size() + 4;
  Bytes s{tableId, static_cast<std::uint8_t>(0xB0 | ((sectionLength >> 8) & 0x0F)),
          static_cast<std::uint8_t>(sectionLength & 0xFF)};
  s.insert(s.end(), body.begin(), body.end());
  const std::uint32_t crc = Crc32Mpeg2(s.data(), s.size());
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<std::uint8_t>(crc >> shift));
  return s;
}

struct Program {
  std::uint16_t number;
  std::uint16_t pid;
};

inline Bytes PatSection(const std::vector<Program>& programs) {
  Bytes body{0x00, 0x01, 0xC1, 0x00, 0x00};  // transport_stream_id, version, numbers
  for (const Program& p : programs) {
    body.push_back(static_cast<std::uint8_t>(p.number >> 8));
    body.push_back(static_cast<std::uint8_t>(p.number));
    body.push_back(static_cast<std::uint8_t>(0xE0 | (p.pid >> 8)));
    body.push_back(static_cast<std::uint8_t>(p.pid));
  }
  return MakeSection(kPatTableId, body);
}

// A PMT with one video stream, padded with descriptors to `extra` bytes so
// it can be made to span packets.
inline Bytes PmtSection(std::uint16_t programNumber, std::uint16_t pcrPid, std::size_t extra = 0) {
  Bytes body{static_cast<std::uint8_t>(programNumber >> 8), static_cast<std::uint8_t>(programNumber),
             0xC1, 0x00, 0x00, static_cast<std::uint8_t>(0xE0 | (pcrPid >> 8)),
             static_cast<std::uint8_t>(pcrPid)};
  const std::size_t infoLength = extra;
  body.push_back(static_cast<std::uint8_t>(0xF0 | (infoLength >> 8)));
  body.push_back(static_cast<std::uint8_t>(infoLength));
  for (std::size_t i = 0; i < extra; ++i) body.push_back(0xAA);
  const Bytes stream{0x02, 0xE1, 0x11, 0xF0, 0x00};
  body.insert(body.end(), stream.begin(), stream.end());
  return MakeSection(kPmtTableId, body);
}

// Packets carrying one section from a pointer_field of `pointer` (the skipped
// bytes are filler) on, continuity counters from `cc`.
inline std::vector<Packet> SectionPackets(std::uint16_t pid, const Bytes& section,
                                          std::uint8_t cc = 0, std::uint8_t pointer = 0) {
  std::vector<Packet> packets;
  Bytes first(1, pointer);
  first.insert(first.end(), pointer, 0x5A);
  std::size_t used = std::min(section.size(), kTsPacketSize - 4 - first.size());
  first.insert(first.end(), section.begin(), section.begin() + static_cast<std::ptrdiff_t>(used));
  PacketFields f;
  f.pid = pid;
  f.cc = cc;
  f.unitStart = true;
  f.payload = first;
  packets.push_back(MakePacket(f));
  while (used < section.size()) {
    const std::size_t n = std::min(section.size() - used, kTsPacketSize - 4);
    f.cc = static_cast<std::uint8_t>((f.cc + 1) & 0x0F);
    f.unitStart = false;
    f.payload.assign(section.begin() + static_cast<std::ptrdiff_t>(used),
                     section.begin() + static_cast<std::ptrdiff_t>(used + n));
    packets.push_back(MakePacket(f));
    used += n;
  }
  return packets;
}

// A TDT (or the start of a TOT) carrying the five UTC_time bytes.
inline Packet TimePacket(std::uint8_t tableId, const std::array<std::uint8_t, 5>& utc,
                         std::uint8_t cc = 0, bool unitStart = true) {
  Bytes payload;
  if (unitStart) payload.push_back(0x00);
  const Bytes head{tableId, 0x70, static_cast<std::uint8_t>(tableId == kTotTableId ? 0x0D : 0x05)};
  payload.insert(payload.end(), head.begin(), head.end());
  payload.insert(payload.end(), utc.begin(), utc.end());
  PacketFields f;
  f.pid = kTotPid;
  f.cc = cc;
  f.unitStart = unitStart;
  f.payload = payload;
  return MakePacket(f);
}

// A PID that first has `before` (its counters after a first packet with
// counter 0), is then named PCR PID (its check stops) and later moved by
// the PAT to carry a PMT of two packets naming 0x0400 as PCR PID; 0x0400
// then skips counter values twice. With {2, 3} (a drop, then a packet in
// order) that PMT is taken and 0x0400 is exempt; with {1, 3} (the drop as
// the last packet checked) the PMT is lost and 0x0400 has two drops.
inline std::vector<Packet> PcrPidMovedToPmtPid(std::array<std::uint8_t, 2> before) {
  constexpr std::uint16_t kMoved = 0x0300;
  constexpr std::uint16_t kLaterPcr = 0x0400;
  std::vector<Packet> packets = {CcPacket(kMoved, 0), CcPacket(kMoved, before[0]), CcPacket(kMoved, before[1])};
  auto add = [&packets](const std::vector<Packet>& more) { packets.insert(packets.end(), more.begin(), more.end()); };
  add(SectionPackets(kPatPid, PatSection({{1, 0x0100}}), 0));
  add(SectionPackets(0x0100, PmtSection(1, kMoved), 0));
  add(SectionPackets(kPatPid, PatSection({{1, kMoved}}), 1));
  add(SectionPackets(kMoved, PmtSection(1, kLaterPcr, 200), 5));
  add({CcPacket(kLaterPcr, 0), CcPacket(kLaterPcr, 5), CcPacket(kLaterPcr, 9)});
  return packets;
}

// ---------------------------------------------------------------- time rules

inline bool ValidDate(const SystemTime& t) {
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return false;
  }
  const CivilDate next = CivilFromDays(DaysFromCivil({t.year, t.month, t.day}));
  return next.month == t.month && next.day == t.day;
}

template <int kOffsetSeconds>
bool ZoneToEpoch(const SystemTime& t, std::int64_t* seconds) {
  if (!ValidDate(t)) return false;
  *seconds = DaysFromCivil({t.year, t.month, t.day}) * 86400 + t.hour * 3600 + t.minute * 60 +
             t.second - kOffsetSeconds;
  return true;
}

template <int kOffsetSeconds>
bool ZoneToLocal(std::int64_t seconds, SystemTime* t) {
  return UtcFromEpoch(seconds + kOffsetSeconds, t);
}

inline LocalTimeRules UtcRules() { return {&ZoneToEpoch<0>, &ZoneToLocal<0>}; }
inline LocalTimeRules JstRules() { return {&ZoneToEpoch<9 * 3600>, &ZoneToLocal<9 * 3600>}; }

// ---------------------------------------------------------------- analyzer

// One job's context, fed packet by packet in the worker's order.
struct Analyzer {
  struct Step {
    PidState* state = nullptr;
    bool drop = false;
    TableResult table = TableResult::None;
  };

  explicit Analyzer(LocalTimeRules rules = UtcRules()) : context(CreateContext(list, 0, rules)) {}

  Step Feed(const std::uint8_t* packet) {
    Step step;
    step.state = ParsePacket(packet, *context);
    if (step.state == nullptr || !step.state->parsed) return step;
    step.drop = CheckContinuity(*context, *step.state);
    UpdateClocks(*context, *step.state);
    step.table = DispatchTables(packet, *context, *step.state);
    return step;
  }
  Step Feed(const Packet& packet) { return Feed(packet.data()); }
  void FeedAll(const std::vector<Packet>& packets) {
    for (const Packet& p : packets) Feed(p);
  }

  TsContextList list;
  TsContext* context;
};

inline std::vector<std::uint16_t> PidOrder(const TsContext& context) {
  std::vector<std::uint16_t> pids;
  for (const auto& state : context.pidList) pids.push_back(state->pid);
  return pids;
}

}  // namespace kestrun::ts_test
