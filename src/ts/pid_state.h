// The decoded header of the current packet of a PID and the continuity
// state and counters kept for that PID over the whole job.
#pragma once

#include <cstdint>

#include "ts/section_buffer.h"

namespace kestrun {

struct AdaptationFieldInfo {
  std::uint8_t length = 0;     // adaptation_field_length
  bool pcrFlag = false;        // PCR_flag
  std::uint64_t pcrBase = 0;   // program_clock_reference_base, 33 bits
};

struct PesHeaderInfo {
  bool hasOptionalHeader = false;
  std::uint32_t startCodePrefix = 0;  // packet_start_code_prefix, 24 bits
  std::uint8_t streamId = 0;          // stream_id
  // PTS_DTS_flags, limited to the time stamps that lie inside the packet.
  std::uint8_t ptsDtsFlags = 0;
  std::uint64_t pts = 0;  // 33 bits
  std::uint64_t dts = 0;  // 33 bits
};

inline constexpr std::uint8_t kFeedsPts = 0x01;
inline constexpr std::uint8_t kFeedsDts = 0x02;
// No counter expected yet (PidState::nextCc).
inline constexpr std::uint8_t kNoNextCc = 0x10;

struct PidState {
  std::uint16_t pid = 0;
  bool dropFlag = false;        // the last checked packet was a drop
  bool first = true;            // no packet of this PID checked yet
  std::uint8_t lastCc = 0;      // continuity_counter of the last checked packet
  // Kept by the job's analysis when it runs, left alone otherwise: the
  // counter the MPEG-2 systems rule expects on the PID's next packet with
  // payload, the PID's last packet with payload, and how many it had. They
  // lie beside the default rule's state so one look-up serves both rules.
  std::uint8_t nextCc = kNoNextCc;
  std::uint64_t totalCount = 0; // packets checked
  std::uint64_t dropCount = 0;  // drops counted
  std::uint64_t payloadPackets = 0;
  const std::uint8_t* lastPayloadPacket = nullptr;
  // The analysis times this PID's PES headers (a video or audio stream of a
  // PMT): its unit starts take the full steps.
  bool timedPes = false;
  // Undamaged packets whose transport_scrambling_control is not 0, checked
  // or not: a recording can be free of drops and still unplayable.
  std::uint64_t scrambledCount = 0;

  // Decoded from the current packet, by the full steps only: the table
  // handlers read them for the packet just decoded (a packet that needs
  // none of its PID's tables may leave them as the last one set them).
  bool parsed = false;
  std::uint8_t cc = 0;
  bool unitStart = false;
  std::uint8_t adaptationControl = 0;
  // Offset of the first byte after the header fields: the payload start, or
  // for a unit-start PSI packet the first byte of the section. 188 when the
  // packet carries no usable payload.
  std::uint8_t headerLength = 0;
  bool hasAdaptation = false;
  AdaptationFieldInfo adaptation;
  // Kept from the last packet of this PID that started a unit.
  bool hasPes = false;
  PesHeaderInfo pes;
  // The clocks every packet of the PID feeds from `pes` until the next unit
  // starts (kFeedsPts, kFeedsDts); 0 without a PES header.
  std::uint8_t clockFeeds = 0;

  // PSI section in collection.
  SectionBuffer section;
  std::uint16_t sectionRemaining = 0;

  // Packets with transport_error_indicator set, also those that arrived
  // before the PID's first undamaged packet.
  std::uint64_t teiCount = 0;
};

}  // namespace kestrun
