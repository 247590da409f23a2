// Descriptor loops as the PMT and CAT carry them: tag, length, body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrun {

inline constexpr std::uint8_t kCaDescriptorTag = 0x09;

// Calls visit(tag, body, length) for each descriptor; a descriptor whose
// length runs past the end ends the walk.
template <typename Visit>
void ForEachDescriptor(const std::uint8_t* bytes, std::size_t size, Visit visit) {
  std::size_t at = 0;
  while (at + 2 <= size) {
    const std::uint8_t tag = bytes[at];
    const std::size_t length = bytes[at + 1];
    if (at + 2 + length > size) return;
    visit(tag, bytes + at + 2, length);
    at += 2 + length;
  }
}

template <typename Visit>
void ForEachDescriptor(const std::vector<std::uint8_t>& bytes, Visit visit) {
  ForEachDescriptor(bytes.data(), bytes.size(), visit);
}

// True when the loop names `pid` as CA_PID in a CA_descriptor.
bool NamesCaPid(const std::vector<std::uint8_t>& descriptors, std::uint16_t pid);

// Appends the CA_PID of every CA_descriptor in the loop.
void CollectCaPids(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint16_t>& pids);

}  // namespace kestrun
