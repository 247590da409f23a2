#include "tsgen/sections.h"

#include <array>

namespace kestrun::tsgen {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

// Writes section_length (12 bits behind the flags in byte 1) once the
// section's body is complete, then appends the CRC_32 when asked.
void Close(Bytes& section, bool withCrc) {
  const std::size_t length = section.size() - 3 + (withCrc ? 4 : 0);
  section[1] = static_cast<std::uint8_t>((section[1] & 0xF0) | ((length >> 8) & 0x0F));
  section[2] = static_cast<std::uint8_t>(length);
  if (withCrc) {
    const std::uint32_t crc = Crc32Mpeg2(section.data(), section.size());
    Put16(section, crc >> 16);
    Put16(section, crc & 0xFFFF);
  }
}

// Long-form section header up to last_section_number (version 0, current).
Bytes LongHeader(std::uint8_t tableId, unsigned tableIdExtension) {
  Bytes s = {tableId, 0xB0, 0x00};
  Put16(s, tableIdExtension);
  s.insert(s.end(), {0xC1, 0x00, 0x00});
  return s;
}

void PutUtcTime(Bytes& out, const DateTime& time) {
  const auto utc = EncodeUtcTime(time);
  out.insert(out.end(), utc.begin(), utc.end());
}

std::uint8_t Bcd(int value) { return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10)); }

}  // namespace

Bytes BuildPat(std::uint16_t transportStreamId, const std::vector<ProgramSpec>& programs) {
  Bytes s = LongHeader(0x00, transportStreamId);
  for (const ProgramSpec& program : programs) {
    Put16(s, program.programNumber);
    Put16(s, 0xE000u | program.pmtPid);
  }
  Close(s, true);
  return s;
}

Bytes BuildPmt(const ProgramSpec& program) {
  Bytes s = LongHeader(0x02, program.programNumber);
  Put16(s, 0xE000u | program.pcrPid);
  Put16(s, 0xF000u);  // no program descriptors
  std::uint8_t componentTag = 0;
  for (const ElementaryStream& es : program.streams) {
    s.push_back(es.streamType);
    Put16(s, 0xE000u | es.pid);
    Put16(s, 0xF000u | 3);
    s.insert(s.end(), {0x52, 0x01, componentTag++});  // stream_identifier_descriptor
  }
  Close(s, true);
  return s;
}

Bytes BuildTdt(const DateTime& time) {
  Bytes s = {0x70, 0x70, 0x00};
  PutUtcTime(s, time);
  Close(s, false);
  return s;
}

Bytes BuildTot(const DateTime& time, int localOffsetMinutes) {
  Bytes s = {0x73, 0x70, 0x00};
  PutUtcTime(s, time);
  const int magnitude = localOffsetMinutes < 0 ? -localOffsetMinutes : localOffsetMinutes;
  const std::uint8_t polarity = localOffsetMinutes < 0 ? 0x01 : 0x00;
  // One local_time_offset_descriptor; no change of offset is announced, so
  // time_of_change carries the TOT's own time and next_time_offset repeats
  // the current offset.
  Bytes descriptor = {0x58, 13, 'J', 'P', 'N', static_cast<std::uint8_t>(0x02 | polarity),
                      Bcd(magnitude / 60 % 100), Bcd(magnitude % 60)};
  PutUtcTime(descriptor, time);
  descriptor.insert(descriptor.end(), {Bcd(magnitude / 60 % 100), Bcd(magnitude % 60)});
  Put16(s, 0xF000u | static_cast<unsigned>(descriptor.size()));
  s.insert(s.end(), descriptor.begin(), descriptor.end());
  Close(s, true);
  return s;
}

Bytes BuildCarouselBlock(std::uint16_t moduleId, std::uint32_t blockNumber, std::size_t dataBytes) {
  Bytes s = LongHeader(0x3C, moduleId);
  s[5] = 0xC1;
  s[6] = static_cast<std::uint8_t>(blockNumber);
  s[7] = 0xFF;
  // dsmccDownloadDataHeader, then the DownloadDataBlock fields.
  const std::size_t messageLength = 6 + dataBytes;
  s.insert(s.end(), {0x11, 0x03, 0x10, 0x03});
  Put16(s, 0x0000);
  Put16(s, moduleId);
  s.insert(s.end(), {0xFF, 0x00});
  Put16(s, static_cast<unsigned>(messageLength));
  Put16(s, moduleId);
  s.insert(s.end(), {0x00, 0xFF});
  Put16(s, blockNumber & 0xFFFF);
  std::uint32_t x = 0x2545F491u ^ (static_cast<std::uint32_t>(moduleId) << 16) ^ blockNumber;
  for (std::size_t i = 0; i < dataBytes; ++i) {
    x = x * 1664525u + 1013904223u;
    std::uint8_t b = static_cast<std::uint8_t>(x >> 24);
    s.push_back(b == 0x47 ? 0x48 : b);
  }
  Close(s, true);
  return s;
}

}  // namespace kestrun::tsgen
