#include "tsgen/injection_plan.h"

namespace kestrun::tsgen {

InjectionPlan::InjectionPlan(const std::vector<Injection>& injections, std::uint64_t seed) {
  std::uint64_t stream = seed;
  for (const Injection& injection : injections) {
    Entry entry;
    entry.wanted = injection;
    entry.random = stream;
    stream += 0x632BE59BD9B4E019ULL;  // each injection draws its own sequence
    entries_.push_back(entry);
    any_[static_cast<std::size_t>(injection.kind)] = true;
  }
}

double InjectionPlan::NextUnit(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
}

bool InjectionPlan::Hit(InjectKind kind, std::uint16_t pid, std::uint64_t pidIndex,
                        std::uint64_t packetIndex, std::uint32_t& amount, bool wildcard) {
  if (!Any(kind)) return false;
  bool hit = false;
  for (Entry& entry : entries_) {
    const Injection& wanted = entry.wanted;
    if (wanted.kind != kind) continue;
    if (wanted.pid >= 0 ? wanted.pid != pid : !wildcard) continue;
    bool now = false;
    if (wanted.rate > 0.0) {
      now = NextUnit(entry.random) < wanted.rate;
    } else if (!entry.spent) {
      now = (wanted.pid >= 0 ? pidIndex : packetIndex) >= wanted.index;
      entry.spent = now;
    }
    if (now && !hit) {
      hit = true;
      amount = wanted.amount;
    }
  }
  return hit;
}

}  // namespace kestrun::tsgen
