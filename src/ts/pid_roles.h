// What a PID carries, as far as the stream's own tables and the fixed PIDs
// tell: read from a job's analysis state after the stream has been read.
#pragma once

#include <cstdint>
#include <vector>

#include "ts/ts_context.h"

namespace kestrun {

inline constexpr std::uint16_t kNullPid = 0x1FFF;

enum class PidRoleKind {
  Pat,         // PID 0x0000
  Pmt,         // a program's PMT PID in the PAT
  Network,     // the network PID (program_number 0 in the PAT)
  Pcr,         // a program's PCR_PID in its PMT
  Elementary,  // an elementary stream in a program's PMT
  Time,        // PID 0x0014, TDT/TOT
  Null,        // PID 0x1FFF
};

struct PidRole {
  PidRoleKind kind = PidRoleKind::Pat;
  std::uint16_t programNumber = 0;  // Pmt, Network, Pcr, Elementary
  std::uint8_t streamType = 0;      // Elementary
};

// Every role the PID has: PAT; PMT or network PID (in PAT order); PCR and
// then elementary stream (in the order the programs' PMTs first came);
// TDT/TOT; null. Empty for a PID that no table names.
std::vector<PidRole> RolesOfPid(const TsContext& context, std::uint16_t pid);

}  // namespace kestrun
