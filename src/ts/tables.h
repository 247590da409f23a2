// The three tables the analysis reads: PAT, PMT and TDT/TOT.
#pragma once

#include <cstdint>
#include <vector>

#include "support/system_time.h"
#include "ts/pid_state.h"

namespace kestrun {

struct TsContext;

inline constexpr std::uint16_t kPatPid = 0x0000;
inline constexpr std::uint16_t kCatPid = 0x0001;
inline constexpr std::uint16_t kTotPid = 0x0014;
inline constexpr std::uint8_t kPatTableId = 0x00;
inline constexpr std::uint8_t kPmtTableId = 0x02;
inline constexpr std::uint8_t kTdtTableId = 0x70;
inline constexpr std::uint8_t kTotTableId = 0x73;

struct ProgramEntry {
  std::uint16_t programNumber = 0;
  std::uint16_t pmtPid = 0;  // 13 bits (network_PID for program 0)
};

// One entry of a PMT's elementary stream loop.
struct ElementaryStreamEntry {
  std::uint16_t pid = 0;
  std::uint8_t streamType = 0;
  std::vector<std::uint8_t> descriptors;  // the ES_info bytes as they stand
};

// What the last valid PMT of a program (by its own program_number) said.
struct ProgramStreams {
  std::uint16_t programNumber = 0;
  std::uint16_t pcrPid = 0;
  std::vector<std::uint8_t> descriptors;       // the program_info bytes
  std::vector<ElementaryStreamEntry> streams;  // in PMT order
};

// False only when the packet was rejected.
bool ProcessPat(const std::uint8_t* packet, TsContext& context, PidState& state);

// True when a valid PMT section was used (its PCR_PID offered to the
// PcrPidList, its elementary streams recorded in pmtPrograms).
bool ProcessPmt(const std::uint8_t* packet, const ProgramEntry& program, TsContext& context,
                PidState& state);

// True when a TDT/TOT time was accepted and lies after 1970-01-01 00:00:00.
bool ProcessTot(const std::uint8_t* packet, TsContext& context, PidState& state);

// The 40-bit UTC_time field (16-bit MJD, then hour, minute, second in BCD)
// to a date and time; false for an undefined time.
bool MjdBcdToLocalTime(const std::uint8_t* bytes, SystemTime& out);

}  // namespace kestrun
