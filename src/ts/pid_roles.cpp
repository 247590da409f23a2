#include "ts/pid_roles.h"

namespace kestrun {

std::vector<PidRole> RolesOfPid(const TsContext& context, std::uint16_t pid) {
  std::vector<PidRole> roles;
  if (pid == kPatPid) roles.push_back({PidRoleKind::Pat});
  for (const ProgramEntry& entry : context.programList) {
    if (entry.pmtPid != pid) continue;
    const PidRoleKind kind = entry.programNumber == 0 ? PidRoleKind::Network : PidRoleKind::Pmt;
    roles.push_back({kind, entry.programNumber});
  }
  // A PCR_PID of 0x1FFF says that the program has no PCR.
  for (const ProgramStreams& program : context.pmtPrograms) {
    if (program.pcrPid == pid && pid != kNullPid) {
      roles.push_back({PidRoleKind::Pcr, program.programNumber});
    }
  }
  for (const ProgramStreams& program : context.pmtPrograms) {
    for (const ElementaryStreamEntry& stream : program.streams) {
      if (stream.pid == pid) {
        roles.push_back({PidRoleKind::Elementary, program.programNumber, stream.streamType});
      }
    }
  }
  if (pid == kTotPid) roles.push_back({PidRoleKind::Time});
  if (pid == kNullPid) roles.push_back({PidRoleKind::Null});
  return roles;
}

}  // namespace kestrun
