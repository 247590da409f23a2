// The words every report format uses for the analysis's kinds, so a script
// reading one format and a person reading another see the same names.
#pragma once

#include <string_view>

#include "analysis/events.h"
#include "support/job_settings.h"

namespace kestrun {

// gap, duplicate, repeat, noPayload, discontinuity, nullPid
std::string_view DropKindWord(DropKind kind);
// video, audio, captions, superimpose, data, psi, si, ecm, emm, null, other
std::string_view PidKindWord(PidKind kind);
// syncLoss, patError, pmtError, crcError, pcrRepetition, pcrDiscontinuity,
// ptsRepetition, pidError
std::string_view StreamErrorWord(StreamErrorKind kind);
// default, isocc (the option word)
std::string_view CountingRuleWord(CountingRule rule);

}  // namespace kestrun
