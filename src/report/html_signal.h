// The signal level of a tuner run as a line in its own row of the timeline:
// the run's clock time from the first level to the last across the drawing,
// the levels averaged per column, the row's height from the lowest level to
// the highest.
#pragma once

#include <string>
#include <vector>

#include "tuner/signal_series.h"

namespace kestrun::html {

// The levels in time order, as the tuner took them.
using SignalLevels = std::vector<SignalSample>;

// Appends the line (a polyline with its title) to the plot, in the row at
// `top` of `height`; nothing when no level is a number.
void WriteSignal(std::string& out, const SignalLevels& levels, int top, int height);

}  // namespace kestrun::html
