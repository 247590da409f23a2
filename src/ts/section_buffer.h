// The bytes of one PSI section while it is collected across packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrun {

// Room for five more packets whenever the buffer has to grow, so a section
// spread over several packets grows at most once or twice.
inline constexpr std::size_t kSectionReserve = 940;

struct SectionBuffer {
  // size() is the number of bytes held. Discarding a section keeps the
  // capacity, so after the longest section of a PID has been seen the
  // collection never allocates again.
  std::vector<std::uint8_t> data;
  // Complete sections rejected for their CRC_32, over the whole job.
  std::uint32_t crcFailures = 0;

  std::int32_t length() const { return static_cast<std::int32_t>(data.size()); }
  std::int32_t capacity() const { return static_cast<std::int32_t>(data.capacity()); }
  bool operator==(const SectionBuffer&) const = default;
};

}  // namespace kestrun
