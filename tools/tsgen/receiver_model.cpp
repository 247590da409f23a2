#include "tsgen/receiver_model.h"

#include <algorithm>
#include <cstdio>

namespace kestrun::tsgen {
namespace {

constexpr std::size_t kPacket = 188;
constexpr std::uint64_t kMaxClock = 0x1FFFFFFFFULL;
constexpr std::size_t kCompactAt = 1 << 20;
constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

std::uint64_t ReadTimestamp(const std::uint8_t* b) {
  return (static_cast<std::uint64_t>((b[0] >> 1) & 7) << 30) |
         (static_cast<std::uint64_t>(b[1]) << 22) |
         (static_cast<std::uint64_t>(b[2] >> 1) << 15) |
         (static_cast<std::uint64_t>(b[3]) << 7) | (b[4] >> 1);
}

// Stream ids whose PES packets have no optional header.
bool WithoutOptionalHeader(std::uint8_t id) {
  switch (id) {
    case 0xBC: case 0xBE: case 0xBF: case 0xF0: case 0xF1: case 0xF2: case 0xF8: case 0xFF:
      return true;
    default:
      return false;
  }
}

std::string ClockText(std::uint64_t ticks) {
  const std::uint64_t seconds = ticks / kTicksPerSecond;
  const std::uint64_t ms = (ticks - seconds * kTicksPerSecond) / 90;
  char text[64];
  std::snprintf(text, sizeof text, "%llu:%02u:%02u.%03u",
                static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60),
                static_cast<unsigned>(ms));
  return text;
}

bool AfterEpoch(const DateTime& t) {
  return t.year > 1970 || (t.year == 1970 && (t.month > 1 || t.day > 1 || t.hour > 0 ||
                                              t.minute > 0 || t.second > 0));
}

}  // namespace

ReceiverModel::ReceiverModel() { index_.fill(0); }

void ReceiverModel::Clock::Feed(std::uint64_t value) {
  if (base == 0) {
    base = value;
    elapsed = 0;
    return;
  }
  if (value >= base) {
    elapsed = value - base;
  } else if (base - value >= kTicksPerSecond) {
    elapsed = value + (kMaxClock - base);  // the counter wrapped
  } else {
    base = value;  // a small step back restarts the clock
    elapsed = 0;
  }
}

void ReceiverModel::Feed(const std::uint8_t* bytes, std::size_t count) {
  held_.insert(held_.end(), bytes, bytes + count);
  Scan(false);
}

void ReceiverModel::Finish() { Scan(true); }

// The reader takes a sync byte as a packet start when another sync byte
// stands 188 (else 192) bytes further on, or when exactly one packet is
// left at the end. Anything else is skipped a byte at a time.
void ReceiverModel::Scan(bool atEnd) {
  const std::size_t end = held_.size();
  std::size_t p = scan_;
  while (p < end) {
    if (!atEnd && p + 192 >= end) break;  // undecided until more bytes come
    std::size_t length = 0;
    if (held_[p] == 0x47) {
      if (p + 188 < end && held_[p + 188] == 0x47) {
        length = 188;
      } else if (p + 192 < end && held_[p + 192] == 0x47) {
        length = 192;
      } else if (p == cursor_ && end - p == kPacket) {
        length = 188;
      }
    }
    if (length == 0) {
      ++p;
      continue;
    }
    OnPacket(held_.data() + p, heldOffset_ + p);
    p += length;
    cursor_ = p;
  }
  scan_ = p;
  // Bytes before scan_ are decided. The cursor only matters while it stands
  // at scan_ (the end-of-stream rule), so it is kept as "elsewhere" beyond.
  if (scan_ >= kCompactAt) {
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(scan_));
    heldOffset_ += scan_;
    cursor_ = cursor_ == scan_ ? 0 : kNowhere;
    scan_ = 0;
  }
}

ReceiverModel::PidRecord& ReceiverModel::RecordFor(std::uint16_t pid) {
  if (index_[pid] == 0) {
    records_.push_back(PidRecord{});
    records_.back().pid = pid;
    index_[pid] = static_cast<std::int32_t>(records_.size());
    // Damaged packets before the first good one stay with the PID.
    for (auto it = damaged_.begin(); it != damaged_.end(); ++it) {
      if (it->pid != pid) continue;
      records_.back().tei = it->tei;
      damaged_.erase(it);
      break;
    }
  }
  return records_[static_cast<std::size_t>(index_[pid] - 1)];
}

// A damaged packet tells nothing about continuity: the PID keeps its record,
// counts and place, its next good packet is checked afresh, and a section
// being collected is lost.
void ReceiverModel::RestartRecord(std::uint16_t pid) {
  if (index_[pid] == 0) {
    auto it = std::find_if(damaged_.begin(), damaged_.end(), [pid](const auto& d) { return d.pid == pid; });
    if (it == damaged_.end()) it = damaged_.insert(damaged_.end(), DamagedExpectation{pid, 0});
    ++it->tei;
    return;
  }
  PidRecord& record = records_[static_cast<std::size_t>(index_[pid] - 1)];
  ++record.tei;
  record.first = true;
  record.hasPes = false;
  record.section.clear();
  record.sectionRemaining = 0;
}

void ReceiverModel::OnPacket(const std::uint8_t* packet, std::uint64_t offset) {
  const std::uint16_t pid = static_cast<std::uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
  if ((packet[1] & 0x80) != 0) {  // transport_error_indicator
    RestartRecord(pid);
    return;
  }
  PidRecord& record = RecordFor(pid);
  if ((packet[3] & 0xC0) != 0) ++record.scrambled;  // transport_scrambling_control
  std::optional<std::uint64_t> pcr;
  const Header header = Decode(packet, record, pcr);
  const bool drop = CheckContinuity(record, header);

  if (pcr) pcrClock_.Feed(*pcr);
  if (record.hasPes && record.pesUsable && (record.ptsDtsFlags & 2) != 0) ptsClock_.Feed(record.pts);
  if (record.hasPes && record.pesUsable && record.ptsDtsFlags == 3) dtsClock_.Feed(record.dts);

  bool handled = false;
  if (pid == kPatPid) handled = ProcessPat(packet, record, header);
  if (pid == kTimePid) handled = ProcessTot(packet, header);
  if (!handled && pid != kPatPid) {
    const auto program = std::find_if(programs_.begin(), programs_.end(),
                                      [pid](const auto& entry) { return entry.second == pid; });
    if (program != programs_.end()) ProcessPmt(packet, record, header);
  }

  if (drop) {
    const Clock& clock = SelectClock();
    DropExpectation d;
    d.pid = pid;
    d.number = record.drops;
    d.offset = offset;
    d.ticks = clock.elapsed;
    d.time = ClockText(clock.elapsed);
    d.line = !pcrPids_.empty();
    d.tot = tot_;
    drops_.push_back(std::move(d));
  }
}

ReceiverModel::Header ReceiverModel::Decode(const std::uint8_t* packet, PidRecord& record,
                                            std::optional<std::uint64_t>& pcr) {
  Header h;
  h.unitStart = (packet[1] & 0x40) != 0;
  h.control = static_cast<std::uint8_t>((packet[3] >> 4) & 3);
  h.cc = packet[3] & 0x0F;
  std::size_t p = 4;
  if ((h.control & 2) != 0) {
    p = 5 + packet[4];
    if (packet[4] > 0 && (packet[5] & 0x10) != 0) {
      pcr = (static_cast<std::uint64_t>(packet[6]) << 25) | (static_cast<std::uint64_t>(packet[7]) << 17) |
            (static_cast<std::uint64_t>(packet[8]) << 9) | (static_cast<std::uint64_t>(packet[9]) << 1) |
            (packet[10] >> 7);
    }
  }
  h.headerLength = p;
  if (!h.unitStart) return h;
  record.hasPes = false;
  if (p + 2 < kPacket && packet[p] == 0 && packet[p + 1] == 0 && packet[p + 2] == 1) {
    record.hasPes = true;
    record.pesUsable = false;
    record.ptsDtsFlags = 0;
    record.pts = 0;
    record.dts = 0;
    const std::uint8_t streamId = p + 3 < kPacket ? packet[p + 3] : 0;
    if (!WithoutOptionalHeader(streamId)) {
      record.pesUsable = true;
      if (p + 7 < kPacket) record.ptsDtsFlags = packet[p + 7] >> 6;
      if ((record.ptsDtsFlags & 2) != 0 && p + 13 < kPacket) record.pts = ReadTimestamp(packet + p + 9);
      if (record.ptsDtsFlags == 3 && p + 18 < kPacket) record.dts = ReadTimestamp(packet + p + 14);
    }
  } else if (p < kPacket) {
    h.headerLength = p + 1;  // the pointer_field; the section is taken to follow it
  }
  return h;
}

bool ReceiverModel::CheckContinuity(PidRecord& record, const Header& header) {
  if (IsPcrPid(record.pid)) return false;
  record.dropFlag = false;
  bool drop = false;
  if (!record.first && header.cc != ((record.lastCc + 1) & 0x0F)) {
    ++record.drops;
    record.dropFlag = true;
    drop = true;
  }
  ++record.checked;
  record.lastCc = header.cc;
  record.first = false;
  return drop;
}

ReceiverModel::Collect ReceiverModel::AppendSection(const std::uint8_t* packet, PidRecord& record,
                                                    const Header& header, std::uint8_t tableId) {
  const std::size_t h = header.headerLength;
  const bool payload = (header.control & 1) != 0;
  auto reject = [&record] {
    record.section.clear();
    record.sectionRemaining = 0;
    return Collect::Rejected;
  };
  if (header.unitStart) {
    record.section.clear();
    record.sectionRemaining = 0;
    if (h < 4 || h + 2 >= kPacket || packet[h] != tableId || !payload) return reject();
    const std::size_t length = (((packet[h + 1] & 0x0F) << 8) | packet[h + 2]) + 3;
    const std::size_t n = std::min(length, kPacket - h);
    record.section.assign(packet + h, packet + h + n);
    record.sectionRemaining = length - n;
  } else {
    if (record.dropFlag || !payload || record.sectionRemaining == 0) return reject();
    const std::size_t n = h >= kPacket ? 0 : std::min(record.sectionRemaining, kPacket - h);
    record.section.insert(record.section.end(), packet + h, packet + h + n);
    record.sectionRemaining -= n;
  }
  if (record.sectionRemaining > 0) return Collect::Incomplete;
  const std::vector<std::uint8_t>& s = record.section;
  if (s.size() < 4) return reject();
  const std::size_t body = s.size() - 4;
  const std::uint32_t stored = (static_cast<std::uint32_t>(s[body]) << 24) | (s[body + 1] << 16) |
                               (s[body + 2] << 8) | s[body + 3];
  if (Crc32Mpeg2(s.data(), body) != stored) return reject();
  return Collect::Complete;
}

bool ReceiverModel::ProcessPat(const std::uint8_t* packet, PidRecord& record, const Header& header) {
  const Collect result = AppendSection(packet, record, header, 0x00);
  if (result == Collect::Rejected) return false;
  if (result == Collect::Incomplete) return true;
  programs_.clear();
  const std::vector<std::uint8_t>& s = record.section;
  const std::size_t sectionLength = ((s[1] & 0x0F) << 8) | s[2];
  const std::size_t loopEnd = sectionLength >= 9 ? 8 + sectionLength - 9 : 8;
  for (std::size_t at = 8; at + 4 <= loopEnd && at + 4 <= s.size(); at += 4) {
    const std::uint16_t number = static_cast<std::uint16_t>((s[at] << 8) | s[at + 1]);
    if (number == 0xFFFF) break;
    const std::uint16_t pmtPid = static_cast<std::uint16_t>(((s[at + 2] & 0x1F) << 8) | s[at + 3]);
    auto entry = std::find_if(programs_.begin(), programs_.end(),
                              [number](const auto& e) { return e.first == number; });
    if (entry == programs_.end()) {
      programs_.emplace_back(number, pmtPid);
    } else {
      entry->second = pmtPid;
    }
  }
  record.section.clear();
  return true;
}

void ReceiverModel::ProcessPmt(const std::uint8_t* packet, PidRecord& record, const Header& header) {
  if (AppendSection(packet, record, header, 0x02) != Collect::Complete) return;
  const std::vector<std::uint8_t>& s = record.section;
  if (s.size() >= 10) AddPcrPid(static_cast<std::uint16_t>(((s[8] & 0x1F) << 8) | s[9]));
  record.section.clear();
}

bool ReceiverModel::ProcessTot(const std::uint8_t* packet, const Header& header) {
  const std::size_t h = header.headerLength;
  if (h + 7 >= kPacket || (packet[h] != 0x73 && packet[h] != 0x70)) return false;
  const std::optional<DateTime> time = DecodeUtcTime(packet + h + 3);
  if (!time || !AfterEpoch(*time)) return false;
  tot_ = time;
  return true;
}

bool ReceiverModel::IsPcrPid(std::uint16_t pid) const {
  return std::find(pcrPids_.begin(), pcrPids_.end(), pid) != pcrPids_.end();
}

void ReceiverModel::AddPcrPid(std::uint16_t pid) {
  if (!IsPcrPid(pid) && pcrPids_.size() < 8) pcrPids_.push_back(pid);
}

const ReceiverModel::Clock& ReceiverModel::SelectClock() const {
  for (const Clock* clock : {&pcrClock_, &ptsClock_, &dtsClock_}) {
    if (clock->base != 0 && clock->elapsed != 0) return *clock;
  }
  return pcrClock_;
}

void ReceiverModel::Report(Manifest& manifest) const {
  manifest.pids.clear();
  manifest.totalDrops = 0;
  for (const PidRecord& record : records_) {
    PidExpectation e;
    e.pid = record.pid;
    e.checked = record.checked;
    e.drops = record.drops;
    e.pcr = IsPcrPid(record.pid);
    e.lastCc = record.lastCc;
    e.tei = record.tei;
    e.scrambled = record.scrambled;
    if (!e.pcr) manifest.totalDrops += e.drops;
    manifest.pids.push_back(e);
  }
  manifest.damaged = damaged_;
  manifest.drops = drops_;
}

}  // namespace kestrun::tsgen
