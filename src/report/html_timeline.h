// A job's timeline as inline SVG: a row per PID grouped by kind, with a mark
// for every drop and loss, incident bands, density strips of damaged and
// scrambled packets, a row of stream errors and, for a tuner run whose
// driver gives it, the signal level.
//
// Every drop or loss mark carries data-pid and data-offset (the PID and the
// byte offset of its packet, decimal), and data-count where it stands for
// several packets (the offset is then the first one's). Nothing else carries
// data-offset: incident bands carry data-incidents, strips data-tei or
// data-scrambled, stream-error markers data-errors.
#pragma once

#include <string>

#include "report/run_report.h"

namespace kestrun::html {

// Appends the job's timeline (the SVG element, with this id, in a frame
// that scrolls when it is zoomed).
void WriteTimeline(std::string& out, const JobReport& job, const std::string& id);

}  // namespace kestrun::html
