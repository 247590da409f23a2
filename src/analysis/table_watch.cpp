#include "analysis/table_watch.h"

#include <algorithm>
#include <new>

#include "analysis/descriptors.h"
#include "analysis/pid_kinds.h"
#include "ts/section.h"

namespace kestrun {
namespace {

constexpr std::uint8_t kCatTableId = 0x01;
constexpr std::uint8_t kStuffingTableId = 0xFF;
constexpr std::size_t kLongHeaderSize = 8;  // table_id to last_section_number
constexpr std::size_t kCrcSize = 4;

bool Scrambled(const std::uint8_t* packet) { return PacketView(packet).Scrambled(); }

// The undamaged packets of the PID so far.
std::uint64_t PacketsOf(const TsContext& context, const PidWatch& watch) {
  const PidState* state = FindPidState(context, watch.pid);
  return watch.noPayloadPackets + (state != nullptr ? state->payloadPackets : 0);
}

// The table_id a unit-start packet's section begins with; none when the
// section start lies past the packet.
std::optional<std::uint8_t> StartingTableId(const std::uint8_t* packet, const PidState& state) {
  if (!state.unitStart || state.hasPes || state.headerLength >= kTsPacketSize) return std::nullopt;
  return packet[state.headerLength];
}

void Note(JobAnalysis& analysis, const TsContext& context, StreamErrorKind kind, std::uint16_t pid,
          std::uint64_t position) {
  NoteStreamError(analysis.streamErrors, kind, pid, PlaceOf(context, position), analysis.settings.keepEvents);
}

void NoteCrcFailures(JobAnalysis& analysis, const TsContext& context, std::uint32_t failures,
                     std::uint32_t& seen, std::uint16_t pid, std::uint64_t position) {
  for (; seen < failures; ++seen) Note(analysis, context, StreamErrorKind::CrcError, pid, position);
}

void ReadCat(JobAnalysis& analysis, const std::vector<std::uint8_t>& section) {
  analysis.emmPids.clear();
  if (section.size() < kLongHeaderSize + kCrcSize) return;
  CollectCaPids(section.data() + kLongHeaderSize, section.size() - kLongHeaderSize - kCrcSize,
                analysis.emmPids);
}

// Collects a CAT or TOT section with the steps the PAT and PMT are collected
// with; each complete one with a correct CRC_32 goes to `use`, each with a
// wrong one is noted.
template <typename Use>
void CollectSections(JobAnalysis& analysis, const TsContext& context, PidState& collector,
                     const TablePacket& table, std::uint8_t tableId, Use use) {
  std::uint32_t seen = collector.section.crcFailures;
  const PidState& state = *table.state;
  collector.unitStart = state.unitStart;
  collector.adaptationControl = state.adaptationControl;
  collector.headerLength = state.headerLength;
  collector.hasAdaptation = state.hasAdaptation;
  collector.adaptation = state.adaptation;
  collector.dropFlag = table.lost;
  if (CompleteSectionTail(table.packet, collector)) {
    use(collector.section.data);
    DiscardSection(collector);
  }
  if (AppendSectionBytes(table.packet, collector, tableId) == SectionResult::Complete) {
    use(collector.section.data);
    DiscardSection(collector);
  }
  NoteCrcFailures(analysis, context, collector.section.crcFailures, seen, table.watch->pid, table.position);
}

void WatchPat(JobAnalysis& analysis, const TsContext& context, const TablePacket& table) {
  if (Scrambled(table.packet)) Note(analysis, context, StreamErrorKind::PatError, kPatPid, table.position);
  const std::optional<std::uint8_t> tableId = StartingTableId(table.packet, *table.state);
  if (!tableId || table.copy) return;
  if (*tableId == kPatTableId) {
    if (table.now && ArrivedLate(analysis.patArrivals, *table.now, kTableIntervalLimit)) {
      Note(analysis, context, StreamErrorKind::PatError, kPatPid, table.position);
    }
  } else if (*tableId != kStuffingTableId) {
    Note(analysis, context, StreamErrorKind::PatError, kPatPid, table.position);
  }
}

void WatchPmt(JobAnalysis& analysis, const TsContext& context, const TablePacket& table) {
  PidWatch& watch = *table.watch;
  if (Scrambled(table.packet)) Note(analysis, context, StreamErrorKind::PmtError, watch.pid, table.position);
  const std::optional<std::uint8_t> tableId = StartingTableId(table.packet, *table.state);
  if (tableId == kPmtTableId && !table.copy && table.now &&
      ArrivedLate(watch.pmtArrivals, *table.now, kTableIntervalLimit)) {
    Note(analysis, context, StreamErrorKind::PmtError, watch.pid, table.position);
  }
}

// Lists the PIDs `each` offers (in that order) under `flag` and drops those
// it no longer offers; `listed` is called for each PID newly listed. The
// round stamps tell the two apart without a second list, so a table that
// repeats allocates nothing.
template <typename ForEach, typename Listed>
void Relist(JobAnalysis& analysis, std::vector<std::uint16_t>& pids, bool PidWatch::*flag,
            std::uint32_t PidWatch::*round, ForEach each, Listed listed) {
  const std::uint32_t now = ++analysis.listRound;
  each([&](std::uint16_t pid) {
    PidWatch* watch = pid < kPidCount ? WatchPid(analysis, pid) : nullptr;
    if (watch == nullptr) return;
    watch->*round = now;
    if (watch->*flag) return;
    try {
      pids.push_back(pid);
    } catch (const std::bad_alloc&) {
      return;
    }
    watch->*flag = true;
    listed(*watch);
  });
  std::erase_if(pids, [&](std::uint16_t pid) {
    PidWatch& watch = *analysis.watchIndex[pid];
    if (watch.*round == now) return false;
    watch.*flag = false;
    return true;
  });
}

// The PMT PIDs of the PAT just read.
void ListPmtPids(JobAnalysis& analysis, const TsContext& context) {
  Relist(
      analysis, analysis.listedPmtPids, &PidWatch::listedPmt, &PidWatch::pmtRound,
      [&](auto offer) {
        for (const ProgramEntry& entry : context.programList) {
          if (entry.programNumber != 0) offer(entry.pmtPid);
        }
      },
      [](PidWatch& watch) { watch.pmtArrivals = RecurrenceTimer{}; });
}

// What the PMTs say, in a number that changes when they do: a PMT repeats
// ten times a second, mostly unchanged.
std::uint64_t StreamsSignature(const TsContext& context) {
  std::uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
  const auto mix = [&hash](std::uint64_t value) {
    hash ^= value;
    hash *= 0x100000001B3ull;
  };
  for (const ProgramStreams& program : context.pmtPrograms) {
    mix(program.programNumber);
    mix(program.streams.size());
    for (const ElementaryStreamEntry& stream : program.streams) {
      mix(static_cast<std::uint64_t>(stream.pid) << 8 | stream.streamType);
      for (const std::uint8_t byte : stream.descriptors) mix(byte);
      mix(stream.descriptors.size());
    }
    for (const std::uint8_t byte : program.descriptors) mix(byte);
  }
  return hash;
}

// The video and audio streams of the PMTs as they now stand: their PES time
// stamps and their packets must keep coming.
void ListStreams(JobAnalysis& analysis, const TsContext& context) {
  const std::uint64_t signature = StreamsSignature(context);
  if (signature == analysis.streamsSignature) return;
  analysis.streamsSignature = signature;
  Relist(
      analysis, analysis.listedStreamPids, &PidWatch::listedStream, &PidWatch::streamRound,
      [&](auto offer) {
        for (const ProgramStreams& program : context.pmtPrograms) {
          for (const ElementaryStreamEntry& stream : program.streams) {
            const PidKind kind = KindOfStream(program, stream).kind;
            if (kind == PidKind::Video || kind == PidKind::Audio) offer(stream.pid);
          }
        }
      },
      [&](PidWatch& watch) {
        watch.presence = RecurrenceTimer{};
        watch.packetsAtLook = PacketsOf(context, watch);
        watch.hasPts = false;
      });
  // Their unit starts must leave the plain-packet lane.
  for (const auto& state : context.pidList) {
    const PidWatch* watch = analysis.watchIndex[state->pid];
    state->timedPes = watch != nullptr && watch->listedStream;
  }
}

}  // namespace

void WatchTables(JobAnalysis& analysis, const TsContext& context, const TablePacket& table) {
  const PidState& state = *table.state;
  PidWatch& watch = *table.watch;
  if (watch.pid == kPatPid) WatchPat(analysis, context, table);
  if (watch.listedPmt) WatchPmt(analysis, context, table);
  if (!table.facts->tablesRead) return;
  NoteCrcFailures(analysis, context, state.section.crcFailures, watch.crcFailuresSeen, watch.pid, table.position);
  if (!table.copy && watch.pid == kCatPid) {
    CollectSections(analysis, context, analysis.catSections, table, kCatTableId,
                    [&](const std::vector<std::uint8_t>& section) { ReadCat(analysis, section); });
  }
  if (!table.copy && watch.pid == kTotPid) {
    CollectSections(analysis, context, analysis.totSections, table, kTotTableId,
                    [](const std::vector<std::uint8_t>&) {});
  }
  if (table.facts->table == TableResult::PatHandled) ListPmtPids(analysis, context);
  if (table.facts->table == TableResult::PmtHandled) ListStreams(analysis, context);
}

void LookForAbsences(JobAnalysis& analysis, const TsContext& context, std::uint64_t now) {
  const std::uint64_t position = analysis.packetEnd;
  StartTimer(analysis.patArrivals, now);
  if (FoundOverdue(analysis.patArrivals, now, kTableIntervalLimit)) {
    Note(analysis, context, StreamErrorKind::PatError, kPatPid, position);
  }
  for (const std::uint16_t pid : analysis.listedPmtPids) {
    PidWatch& watch = *analysis.watchIndex[pid];
    StartTimer(watch.pmtArrivals, now);
    if (FoundOverdue(watch.pmtArrivals, now, kTableIntervalLimit)) {
      Note(analysis, context, StreamErrorKind::PmtError, pid, position);
    }
  }
  for (const std::uint16_t pid : analysis.listedStreamPids) {
    PidWatch& watch = *analysis.watchIndex[pid];
    StartTimer(watch.presence, now);
    const std::uint64_t packets = PacketsOf(context, watch);
    if (packets != watch.packetsAtLook) {
      watch.packetsAtLook = packets;
      watch.presence = RecurrenceTimer{true, false, now};
    } else if (FoundOverdue(watch.presence, now, kStreamAbsenceLimit)) {
      Note(analysis, context, StreamErrorKind::PidError, pid, position);
    }
  }
}

}  // namespace kestrun
