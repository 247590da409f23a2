// What each PID carries and a short English name for it, from the stream's
// own tables: the PAT (PMT and network PIDs), the PMTs (stream_type and the
// descriptors of each elementary stream: component tags for ARIB captions
// and superimposed text, DVB and ATSC audio and subtitle descriptors,
// CA_descriptors for ECM PIDs), the CAT (EMM PIDs), and the PIDs that DVB,
// ARIB and ATSC fix for service information.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/events.h"
#include "ts/ts_context.h"

namespace kestrun {

struct PidKindName {
  PidKind kind = PidKind::Other;
  std::string name;
};

// The kind of an elementary stream a PMT lists.
PidKindName KindOfStream(const ProgramStreams& program, const ElementaryStreamEntry& stream);

// The kind of any PID; `emmPids` are the CA_PIDs of the last CAT. The tables
// are read as they stand at the call (the last PAT, each program's last PMT).
PidKindName KindOfPid(const TsContext& context, const std::vector<std::uint16_t>& emmPids,
                      std::uint16_t pid);

}  // namespace kestrun
