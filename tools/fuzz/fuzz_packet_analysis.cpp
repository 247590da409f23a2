// The per-packet analysis as the worker runs it, fed arbitrary packets:
// header and continuity, the clocks, the play-time windows, the PAT, PMT and
// TDT/TOT, and the texts of the drop, progress, wrap-around and summary lines.
//
// Input layout: the first (size % 188) bytes are a duration text (none when
// empty); the rest are 188-byte packets, taken as they are (also those
// without a sync byte).
//
// Besides crashing, the analysis must keep these promises:
// - a decoded header never points past the packet;
// - a PID's counters only grow, its drops never exceed its packets, and an
//   exempt PID's counters stand still;
// - the PCR PID list is filled from the front, without repeats;
// - a section in collection never holds more than one whole section;
// - every PID with a record has been seen with a sync byte, and the PID
//   index and the list agree;
// - without windows, a second context that takes each packet the packet
//   loop's fast way where it can (AnalysePlainPacket) ends every packet in
//   the same state as the full steps, every field of the context and of
//   every PID record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "ts/civil_date.h"
#include "ts/dispatch.h"
#include "ts/plain_packet.h"
#include "ts/same_state.h"
#include "ts/ts_context.h"
#include "worker/play_windows.h"
#include "worker/report.h"

namespace kestrun {
namespace {

constexpr std::size_t kLongestSection = 0xFFF + 3;  // section_length + 3
constexpr std::int64_t kSecondsPerDay = 86400;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Local time is UTC here: the analysis only needs some consistent rule, and
// the fuzzer must not depend on the machine's time zone.
bool ToEpoch(const SystemTime& local, std::int64_t* seconds) {
  if (local.month < 1 || local.month > 12 || local.day < 1 || local.day > 31) return false;
  const std::int64_t days = DaysFromCivil({local.year, local.month, local.day});
  *seconds = days * kSecondsPerDay + local.hour * 3600 + local.minute * 60 + local.second;
  return true;
}

bool ToLocal(std::int64_t seconds, SystemTime* local) { return UtcFromEpoch(seconds, local); }

// The fields of a drop or progress line, as the worker builds them.
FieldTexts Fields(const TsContext& context, std::uint64_t position, std::int64_t fileSize) {
  FieldTexts fields;
  fields.offset = OffsetText(static_cast<std::int64_t>(position));
  fields.percent = PercentText(static_cast<std::int64_t>(position), fileSize);
  fields.tot = TotText(context.totLocalTime, context.totSeconds);
  fields.playTime = PlayTimeText(SelectClock(context).time);
  return fields;
}

struct Counters {
  std::uint64_t total = 0;
  std::uint64_t drops = 0;
};

void CheckPcrPidList(const TsContext& context) {
  bool free = false;
  for (std::size_t i = 0; i < kPcrPidSlots; ++i) {
    const std::uint16_t pid = context.pcrPids[i];
    if (pid == kFreePcrSlot) {
      free = true;
      continue;
    }
    Check(!free);
    for (std::size_t j = 0; j < i; ++j) Check(context.pcrPids[j] != pid);
  }
}

void CheckRecords(const TsContext& context) {
  std::size_t indexed = 0;
  for (const PidState* state : context.pidIndex) indexed += state != nullptr ? 1 : 0;
  Check(indexed == context.pidList.size());
  for (const auto& state : context.pidList) {
    Check(state->pid < kPidCount && context.pidIndex[state->pid] == state.get());
    Check(state->dropCount <= state->totalCount);
    Check(state->section.data.size() <= kLongestSection);
    Check(state->sectionRemaining <= kLongestSection);
  }
}

// One packet through the steps of the worker loop; true when it was a drop.
bool AnalyseOne(const std::uint8_t* packet, TsContext& context,
                std::optional<DurationWindows>& windows, std::uint64_t position,
                std::int64_t fileSize) {
  PidState* state = ParsePacket(packet, context);
  if (state == nullptr || !state->parsed) return false;
  Check(packet[0] == kSyncByte);
  Check(state->headerLength <= kTsPacketSize);

  const Counters before{state->totalCount, state->dropCount};
  const bool exempt = IsPcrPid(context, state->pid);
  const bool drop = CheckContinuity(context, *state);
  if (exempt) {
    Check(!drop && state->totalCount == before.total && state->dropCount == before.drops);
  } else {
    Check(state->totalCount == before.total + 1);
    Check(state->dropCount == before.drops + (drop ? 1 : 0));
  }

  UpdateClocks(context, *state);
  const std::uint64_t now = SelectClock(context).elapsed;
  if (windows && !WindowGate(*windows, now, false)) return drop;
  if (windows) Check(windows->windowStart <= now && now <= windows->windowEnd);
  if (DispatchTables(packet, context, *state) == TableResult::TotAccepted) {
    Check(context.totSeconds >= 1);
    if (context.wrapPending) (void)WrapAroundLineText(context.wrapLocalTime);
  }
  if (drop) (void)DropLineText(state->pid, static_cast<std::int64_t>(state->dropCount),
                               Fields(context, position, fileSize));
  return drop;
}

// The packet through the fast way, else the full steps (no windows).
void AnalyseShadow(const std::uint8_t* packet, TsContext& shadow) {
  if (packet[0] == kSyncByte && AnalysePlainPacket(packet, shadow)) return;
  PidState* state = ParsePacket(packet, shadow);
  if (state == nullptr || !state->parsed) return;
  CheckContinuity(shadow, *state);
  UpdateClocks(shadow, *state);
  DispatchTables(packet, shadow, *state);
}

void Summarise(const TsContext& context, const std::string& source) {
  (void)DropHeaderText(source);
  (void)WrapHeaderText(source);
  (void)WrapDateText(context.wrapLocalTime);
  for (const auto& state : context.pidList) {
    (void)PidSummaryLineText(state->pid, state->lastCc, static_cast<std::int64_t>(state->dropCount),
                             static_cast<std::int64_t>(state->totalCount),
                             IsPcrPid(context, state->pid));
  }
}

}  // namespace
}  // namespace kestrun

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrun;
  const std::size_t textSize = size % kTsPacketSize;
  const std::string_view duration(reinterpret_cast<const char*>(data), textSize);
  const std::uint8_t* packets = data + textSize;
  const std::size_t count = (size - textSize) / kTsPacketSize;
  const auto fileSize = static_cast<std::int64_t>(size);

  TsContextList contexts;
  TsContext* context = CreateContext(contexts, 0, LocalTimeRules{ToEpoch, ToLocal});
  Check(context != nullptr);
  TsContextList shadows;
  TsContext* shadow = CreateContext(shadows, 0, LocalTimeRules{ToEpoch, ToLocal});
  Check(shadow != nullptr);
  std::optional<DurationWindows> windows;
  if (!duration.empty()) {
    windows.emplace();
    StartWindows(*windows, duration);
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (windows && WindowsExhausted(*windows, SelectClock(*context).elapsed)) break;
    const std::uint64_t position = textSize + i * kTsPacketSize;
    AnalyseOne(packets + i * kTsPacketSize, *context, windows, position, fileSize);
    if (!windows) {
      AnalyseShadow(packets + i * kTsPacketSize, *shadow);
      Check(SameAnalysisState(*context, *shadow));
    }
    if (i % 16 == 0) (void)ProgressLineText(Fields(*context, position, fileSize));
    CheckPcrPidList(*context);
  }
  CheckRecords(*context);
  Summarise(*context, std::string(duration));
  FreeContext(contexts);
  FreeContext(shadows);
  return 0;
}
