#include "analysis/descriptors.h"

#include <algorithm>
#include <new>

namespace kestrun {
namespace {

constexpr std::size_t kCaPidOffset = 2;  // after CA_system_ID

bool ReadCaPid(std::uint8_t tag, const std::uint8_t* body, std::size_t length, std::uint16_t& pid) {
  if (tag != kCaDescriptorTag || length < kCaPidOffset + 2) return false;
  pid = static_cast<std::uint16_t>((body[kCaPidOffset] & 0x1F) << 8 | body[kCaPidOffset + 1]);
  return true;
}

}  // namespace

bool NamesCaPid(const std::vector<std::uint8_t>& descriptors, std::uint16_t pid) {
  bool named = false;
  ForEachDescriptor(descriptors, [&](std::uint8_t tag, const std::uint8_t* body, std::size_t length) {
    std::uint16_t caPid = 0;
    if (ReadCaPid(tag, body, length, caPid) && caPid == pid) named = true;
  });
  return named;
}

void CollectCaPids(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint16_t>& pids) {
  ForEachDescriptor(bytes, size, [&](std::uint8_t tag, const std::uint8_t* body, std::size_t length) {
    std::uint16_t caPid = 0;
    if (!ReadCaPid(tag, body, length, caPid)) return;
    if (std::find(pids.begin(), pids.end(), caPid) != pids.end()) return;
    try {
      pids.push_back(caPid);
    } catch (const std::bad_alloc&) {
      // The PID is named only by number in the report.
    }
  });
}

}  // namespace kestrun
