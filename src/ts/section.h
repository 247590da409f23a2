// Collection of PSI sections across packets and their CRC-32 check.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ts/pid_state.h"

namespace kestrun {

enum class SectionResult { Complete, Incomplete, Rejected };

// Adds the section bytes of this packet to the PID's buffer. Complete means
// the buffer now holds a whole section with a correct CRC_32; the caller
// decodes it and then discards it. Rejected sections are already discarded.
SectionResult AppendSectionBytes(const std::uint8_t* packet, PidState& state,
                                 std::uint8_t expectedTableId);

// A unit-start packet whose pointer_field is not 0 first carries the last
// bytes of the section in collection. True when they complete it with a
// correct CRC_32: the caller decodes it and discards it before it calls
// AppendSectionBytes for the section that starts in the packet. A section
// interrupted by a drop, or still short after these bytes, is not completed.
bool CompleteSectionTail(const std::uint8_t* packet, PidState& state);

// Ends the section in collection; the buffer keeps its capacity.
void DiscardSection(PidState& state);

// CRC-32/MPEG-2: polynomial 0x04C11DB7, initial 0xFFFFFFFF, MSB first, no
// reflection, no final inversion.
std::uint32_t Crc32Mpeg2(const std::uint8_t* bytes, std::size_t count);

// section_length: the low 12 bits of the two bytes after table_id.
inline std::uint16_t SectionLengthField(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::uint16_t>((high & 0x0F) << 8 | low);
}

}  // namespace kestrun
