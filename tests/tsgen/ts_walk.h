// Plain readers for generated streams, written independently of the
// generator: packets at a fixed stride, table sections, and a continuity
// walk by the counting rules (a TEI packet forgets the PID).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrun::tsgen::testing {

struct WalkedPacket {
  std::size_t offset = 0;  // of the sync byte
  std::array<std::uint8_t, 188> bytes{};  // a copy: the walk outlives the stream
  std::uint16_t pid = 0;
  bool tei = false;
  bool unitStart = false;
  std::uint8_t control = 0;
  std::uint8_t cc = 0;
};

inline std::vector<WalkedPacket> Packets(const std::vector<std::uint8_t>& stream, std::size_t size) {
  std::vector<WalkedPacket> packets;
  const std::size_t prefix = size - 188;
  for (std::size_t at = 0; at + size <= stream.size(); at += size) {
    const std::uint8_t* p = stream.data() + at + prefix;
    WalkedPacket w;
    w.offset = at + prefix;
    std::copy(p, p + 188, w.bytes.begin());
    w.pid = static_cast<std::uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
    w.tei = (p[1] & 0x80) != 0;
    w.unitStart = (p[1] & 0x40) != 0;
    w.control = static_cast<std::uint8_t>((p[3] >> 4) & 3);
    w.cc = p[3] & 0x0F;
    packets.push_back(w);
  }
  return packets;
}

inline std::size_t PayloadStart(const WalkedPacket& w) {
  return (w.control & 2) != 0 ? 5u + w.bytes[4] : 4u;
}

// Complete sections of one PID, following the pointer_field.
inline std::vector<std::vector<std::uint8_t>> Sections(const std::vector<WalkedPacket>& packets,
                                                       std::uint16_t pid) {
  std::vector<std::vector<std::uint8_t>> sections;
  std::vector<std::uint8_t> current;
  std::size_t wanted = 0;
  for (const WalkedPacket& w : packets) {
    if (w.pid != pid || (w.control & 1) == 0) continue;
    std::size_t at = PayloadStart(w);
    if (w.unitStart) {
      at += 1 + w.bytes[at];
      current.clear();
      wanted = at + 3 <= 188 ? (((w.bytes[at + 1] & 0x0F) << 8) | w.bytes[at + 2]) + 3u : 0;
    } else if (wanted == 0) {
      continue;
    }
    while (at < 188 && current.size() < wanted) current.push_back(w.bytes[at++]);
    if (wanted > 0 && current.size() == wanted) {
      sections.push_back(current);
      wanted = 0;
    }
  }
  return sections;
}

struct CcCount {
  std::uint16_t pid = 0;
  std::uint64_t checked = 0;
  std::uint64_t drops = 0;
  std::uint8_t lastCc = 0;
};

// Per PID in order of first appearance. A TEI packet is not counted and the
// PID's next packet is not checked against the counter before it.
inline std::vector<CcCount> CcWalk(const std::vector<WalkedPacket>& packets) {
  std::vector<CcCount> counts;
  std::vector<std::uint16_t> restart;
  for (const WalkedPacket& w : packets) {
    auto it = counts.begin();
    while (it != counts.end() && it->pid != w.pid) ++it;
    if (w.tei) {
      if (std::find(restart.begin(), restart.end(), w.pid) == restart.end()) restart.push_back(w.pid);
      continue;
    }
    if (it == counts.end()) {
      counts.push_back({w.pid, 1, 0, w.cc});
      continue;
    }
    const auto fresh = std::find(restart.begin(), restart.end(), w.pid);
    if (fresh != restart.end()) {
      restart.erase(fresh);
    } else if (w.cc != ((it->lastCc + 1) & 0x0F)) {
      ++it->drops;
    }
    ++it->checked;
    it->lastCc = w.cc;
  }
  return counts;
}

}  // namespace kestrun::tsgen::testing
