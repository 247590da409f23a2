#include <algorithm>
#include <new>

#include "ts/ts_context.h"

namespace kestrun {
namespace {

constexpr std::size_t kProgramNumberOffset = 3;
constexpr std::size_t kPcrPidOffset = 8;
constexpr std::size_t kProgramInfoLengthOffset = 10;
constexpr std::size_t kProgramInfoOffset = 12;
constexpr std::size_t kStreamEntryHeaderSize = 5;  // stream_type, PID, ES_info_length
constexpr std::size_t kCrcSize = 4;

std::uint16_t Word(const std::vector<std::uint8_t>& section, std::size_t at) {
  return static_cast<std::uint16_t>(section[at] << 8 | section[at + 1]);
}

ProgramStreams* StreamsOfProgram(std::vector<ProgramStreams>& programs, std::uint16_t number) {
  for (ProgramStreams& program : programs) {
    if (program.programNumber == number) return &program;
  }
  programs.push_back(ProgramStreams{number, 0, {}, {}});
  return &programs.back();
}

// The bytes from `from` to `to` (cut at `limit`), into storage that keeps its
// capacity from one PMT to the next.
void KeepBytes(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& section,
               std::size_t from, std::size_t to, std::size_t limit) {
  to = std::min(to, limit);
  if (from >= to) {
    out.clear();
    return;
  }
  out.assign(section.begin() + static_cast<std::ptrdiff_t>(from),
             section.begin() + static_cast<std::ptrdiff_t>(to));
}

// The elementary stream loop runs from behind the program descriptors to the
// CRC_32; an entry whose fixed part does not fit before the CRC ends it, and
// a descriptor length that runs past the CRC ends the loop after its entry.
// The entries of the program's last PMT are overwritten in place, so a PMT
// that repeats allocates nothing. The descriptors are kept only for a job
// whose analysis reads them.
void ReadStreamLoop(const std::vector<std::uint8_t>& section, std::uint16_t pcrPid,
                    std::vector<ProgramStreams>& programs, bool keepDescriptors) {
  if (section.size() < kProgramInfoOffset + kCrcSize) return;
  const std::size_t loopEnd = section.size() - kCrcSize;
  std::size_t at = kProgramInfoOffset + (Word(section, kProgramInfoLengthOffset) & 0x0FFF);
  try {
    ProgramStreams* program = StreamsOfProgram(programs, Word(section, kProgramNumberOffset));
    program->pcrPid = pcrPid;
    if (keepDescriptors) KeepBytes(program->descriptors, section, kProgramInfoOffset, at, loopEnd);
    std::size_t count = 0;
    while (at + kStreamEntryHeaderSize <= loopEnd) {
      if (count == program->streams.size()) program->streams.emplace_back();
      ElementaryStreamEntry& entry = program->streams[count++];
      entry.pid = static_cast<std::uint16_t>(Word(section, at + 1) & 0x1FFF);
      entry.streamType = section[at];
      const std::size_t infoStart = at + kStreamEntryHeaderSize;
      at = infoStart + (Word(section, at + 3) & 0x0FFF);
      if (keepDescriptors) KeepBytes(entry.descriptors, section, infoStart, at, loopEnd);
    }
    program->streams.resize(count);
  } catch (const std::bad_alloc&) {
    // The streams are only named in the report; the check goes on without.
  }
}

// The PCR_PID exempts its packets from the continuity check from now on; a
// PCR_PID of 0x1FFF (no PCR) is recorded as well. The elementary streams are
// kept to say what each PID carries.
bool UsePmtSection(TsContext& context, PidState& state) {
  const std::vector<std::uint8_t>& section = state.section.data;
  const bool hasPcrPid = section.size() >= kPcrPidOffset + 2 + kCrcSize;
  if (hasPcrPid) {
    const auto pcrPid = static_cast<std::uint16_t>(Word(section, kPcrPidOffset) & 0x1FFF);
    AddPcrPid(context, pcrPid);
    ReadStreamLoop(section, pcrPid, context.pmtPrograms, context.keepsDescriptors);
  }
  DiscardSection(state);
  return hasPcrPid;
}

}  // namespace

bool ProcessPmt(const std::uint8_t* packet, const ProgramEntry& /*program*/, TsContext& context,
                PidState& state) {
  const bool tailUsed = CompleteSectionTail(packet, state) && UsePmtSection(context, state);
  if (AppendSectionBytes(packet, state, kPmtTableId) != SectionResult::Complete) return tailUsed;
  return UsePmtSection(context, state) || tailUsed;
}

}  // namespace kestrun
