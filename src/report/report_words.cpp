#include "report/report_words.h"

#include <array>

namespace kestrun {
namespace {

constexpr std::array<std::string_view, 6> kDropKinds = {"gap",     "duplicate",     "repeat",
                                                        "noPayload", "discontinuity", "nullPid"};
constexpr std::array<std::string_view, kPidKindCount> kPidKinds = {
    "video", "audio", "captions", "superimpose", "data", "psi", "si", "ecm", "emm", "null", "other"};
constexpr std::array<std::string_view, kStreamErrorKindCount> kStreamErrors = {
    "syncLoss",      "patError",         "pmtError",      "crcError",
    "pcrRepetition", "pcrDiscontinuity", "ptsRepetition", "pidError"};

template <std::size_t kCount, typename Enum>
std::string_view WordOf(const std::array<std::string_view, kCount>& words, Enum value) {
  const auto index = static_cast<std::size_t>(value);
  return index < kCount ? words[index] : std::string_view("other");
}

}  // namespace

std::string_view DropKindWord(DropKind kind) { return WordOf(kDropKinds, kind); }
std::string_view PidKindWord(PidKind kind) { return WordOf(kPidKinds, kind); }
std::string_view StreamErrorWord(StreamErrorKind kind) { return WordOf(kStreamErrors, kind); }
std::string_view CountingRuleWord(CountingRule rule) { return rule == CountingRule::Iso ? "isocc" : "default"; }

}  // namespace kestrun
