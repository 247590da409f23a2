// Decides, packet by packet, which of the profile's injections apply.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tsgen/tsgen.h"

namespace kestrun::tsgen {

class InjectionPlan {
 public:
  InjectionPlan(const std::vector<Injection>& injections, std::uint64_t seed);

  bool Any(InjectKind kind) const { return any_[static_cast<std::size_t>(kind)]; }
  // True when an injection of `kind` applies at this place; `amount` then
  // receives its amount. A fixed-place injection applies once, at the
  // first candidate at or after its place. With `wildcard` false only
  // injections naming this PID take part.
  bool Hit(InjectKind kind, std::uint16_t pid, std::uint64_t pidIndex,
           std::uint64_t packetIndex, std::uint32_t& amount, bool wildcard = true);

 private:
  struct Entry {
    Injection wanted;
    bool spent = false;
    std::uint64_t random = 0;  // splitmix64 state
  };
  static double NextUnit(std::uint64_t& state);

  std::vector<Entry> entries_;
  std::array<bool, 9> any_{};  // one per InjectKind
};

}  // namespace kestrun::tsgen
