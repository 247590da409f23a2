#include <new>

#include "ts/ts_context.h"

namespace kestrun {
namespace {

constexpr std::size_t kProgramLoopOffset = 8;
constexpr std::size_t kProgramEntrySize = 4;
constexpr std::size_t kCrcSize = 4;
constexpr std::uint16_t kLastProgramMarker = 0xFFFF;

void SetProgram(ProgramList& programs, std::uint16_t programNumber, std::uint16_t pmtPid) {
  for (ProgramEntry& entry : programs) {
    if (entry.programNumber == programNumber) {
      entry.pmtPid = pmtPid;
      return;
    }
  }
  try {
    programs.push_back(ProgramEntry{programNumber, pmtPid});
  } catch (const std::bad_alloc&) {
    // The program stays unknown; its PMT is not read.
  }
}

// Each valid PAT section replaces the program list. Entries with
// program_number 0 (the network PID) are kept like the others.
void ReadProgramLoop(const std::vector<std::uint8_t>& section, ProgramList& programs) {
  programs.clear();
  if (section.size() < kProgramLoopOffset + kCrcSize) return;
  const std::size_t loopEnd = section.size() - kCrcSize;
  for (std::size_t at = kProgramLoopOffset; at + kProgramEntrySize <= loopEnd;
       at += kProgramEntrySize) {
    const auto programNumber = static_cast<std::uint16_t>(section[at] << 8 | section[at + 1]);
    if (programNumber == kLastProgramMarker) break;
    const auto pid = static_cast<std::uint16_t>((section[at + 2] & 0x1F) << 8 | section[at + 3]);
    SetProgram(programs, programNumber, pid);
  }
}

// The program list is replaced, and with it the marks of the PMT PIDs that
// the packet loop looks up. Only the PIDs of the list being replaced carry
// the mark, so only theirs are cleared (a PAT comes several times a second).
void UsePatSection(TsContext& context, PidState& state) {
  for (const ProgramEntry& entry : context.programList) {
    if (entry.pmtPid < kPidCount) context.pidMarks[entry.pmtPid] &= static_cast<std::uint8_t>(~kPmtPidMark);
  }
  ReadProgramLoop(state.section.data, context.programList);
  for (const ProgramEntry& entry : context.programList) {
    if (entry.pmtPid < kPidCount) context.pidMarks[entry.pmtPid] |= kPmtPidMark;
  }
  DiscardSection(state);
}

}  // namespace

bool ProcessPat(const std::uint8_t* packet, TsContext& context, PidState& state) {
  if (CompleteSectionTail(packet, state)) UsePatSection(context, state);
  switch (AppendSectionBytes(packet, state, kPatTableId)) {
    case SectionResult::Rejected:
      return false;
    case SectionResult::Incomplete:
      return true;
    case SectionResult::Complete:
      break;
  }
  UsePatSection(context, state);
  return true;
}

}  // namespace kestrun
