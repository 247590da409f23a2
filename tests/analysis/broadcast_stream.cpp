#include "analysis/broadcast_stream.h"

#include <array>
#include <map>

namespace kestrun::analysis_test {
namespace {

using ts_test::Bytes;
using ts_test::MakePacket;
using ts_test::MakeSection;
using ts_test::Packet;
using ts_test::PacketFields;

constexpr std::uint64_t kFirstPcr = 900000;
constexpr std::uint8_t kCatTableId = 0x01;

Bytes PmtSection() {
  const Bytes body{0x00, 0x01, 0xC1, 0x00, 0x00, 0xE1, 0xFF, 0xF0, 0x00,  // program 1, PCR PID, no info
                   0x1B, 0xE1, 0x11, 0xF0, 0x00,                          // H.264 video
                   0x0F, 0xE1, 0x12, 0xF0, 0x00,                          // AAC audio
                   0x06, 0xE1, 0x13, 0xF0, 0x00};                         // private PES data
  return MakeSection(kPmtTableId, body);
}

Bytes CatSection() {
  // An EMM PID 0x0902 of CA system 0x0005.
  return MakeSection(kCatTableId, {0xFF, 0xFF, 0xC1, 0x00, 0x00, 0x09, 0x04, 0x00, 0x05, 0xE9, 0x02});
}

Bytes TotSection(int second) {
  // 2025-04-01 (MJD 60766) 12:00:SS JST, no descriptors.
  const auto bcd = static_cast<std::uint8_t>((second / 10) << 4 | second % 10);
  return MakeSection(kTotTableId, {0xED, 0x5E, 0x12, 0x00, bcd, 0xF0, 0x00});
}

Packet SectionPacket(std::uint16_t pid, const Bytes& section) {
  PacketFields f;
  f.pid = pid;
  f.unitStart = true;
  f.payload.push_back(0x00);  // pointer_field
  f.payload.insert(f.payload.end(), section.begin(), section.end());
  return MakePacket(f);
}

Packet PesStart(std::uint16_t pid, std::uint8_t streamId, std::uint64_t pts) {
  PacketFields f;
  f.pid = pid;
  f.unitStart = true;
  f.payload = ts_test::PesHeader(streamId, pts);
  return MakePacket(f);
}

Packet PcrPacket(std::uint64_t pcr) {
  PacketFields f;
  f.pid = kBroadcastPcrPid;
  f.adaptationControl = 2;
  f.pcr = pcr;
  return MakePacket(f);
}

Packet VideoPayload() {
  PacketFields f;
  f.pid = kBroadcastVideoPid;
  f.payload.assign(184, 0x55);
  return MakePacket(f);
}

}  // namespace

std::uint64_t BroadcastPcr(int moment) { return kFirstPcr + static_cast<std::uint64_t>(moment) * kTicksPerMoment; }

void SetPcr(Packet& packet, std::uint64_t pcr) {
  packet[6] = static_cast<std::uint8_t>(pcr >> 25);
  packet[7] = static_cast<std::uint8_t>(pcr >> 17);
  packet[8] = static_cast<std::uint8_t>(pcr >> 9);
  packet[9] = static_cast<std::uint8_t>(pcr >> 1);
  packet[10] = static_cast<std::uint8_t>((pcr & 1) << 7 | 0x7E);
}

std::string BuildBroadcast(int moments, const AlterPacket& alter, const AfterMoment& after) {
  std::map<std::uint16_t, std::uint8_t> counters;
  std::string out;
  const auto put = [&](Piece piece, int moment, Packet packet) {
    const std::uint16_t pid = static_cast<std::uint16_t>((packet[1] & 0x1F) << 8 | packet[2]);
    std::uint8_t& cc = counters[pid];
    const bool payload = (packet[3] & 0x10) != 0;
    packet[3] = static_cast<std::uint8_t>((packet[3] & 0xF0) | cc);
    if (payload) cc = static_cast<std::uint8_t>((cc + 1) & 0x0F);
    if (alter && !alter(piece, moment, packet)) return;
    out.append(packet.begin(), packet.end());
  };
  for (int m = 0; m < moments; ++m) {
    const std::uint64_t pcr = BroadcastPcr(m);
    put(Piece::Pcr, m, PcrPacket(pcr));
    if (m % 5 == 0) {
      put(Piece::Pat, m, SectionPacket(kPatPid, ts_test::PatSection({{1, kBroadcastPmtPid}})));
      put(Piece::Pmt, m, SectionPacket(kBroadcastPmtPid, PmtSection()));
    }
    if (m % 50 == 0) {
      put(Piece::Cat, m, SectionPacket(0x0001, CatSection()));
      put(Piece::Tot, m, SectionPacket(kTotPid, TotSection((m / 50) % 60)));
    }
    if (m % 2 == 0) {
      put(Piece::VideoStart, m, PesStart(kBroadcastVideoPid, 0xE0, pcr + 9000));
      put(Piece::AudioStart, m, PesStart(kBroadcastAudioPid, 0xC0, pcr + 9000));
    }
    if (m % 10 == 0) put(Piece::DataStart, m, PesStart(kBroadcastDataPid, 0xBD, pcr + 9000));
    for (int i = 0; i < 20; ++i) put(Piece::Video, m, VideoPayload());
    if (after) out += after(m);
  }
  return out;
}

}  // namespace kestrun::analysis_test
