#pragma once

#include "model/analysis_state.h"

namespace etherm {

// The line of an independent source (first letter V or I) in a transient circuit file, so that
// its waveform keeps its absolute timing in a window that starts at windowStartTime. The source
// function is the fourth word:
// - a pulse (first letter P or second letter U) or a sine (first letter S or second letter I):
//   the name, the nodes and the words before the delay are copied, the delay becomes
//   "{delay-startTimeText}", and the line ends after the first ')'; startTimeText is set to
//   windowStartTime with 10 decimals, cut to 12 characters. A missing delay or ')' is a failure.
// - anything else: the line up to position 120, blank padded.
void WriteTransientSourceLine(AnalysisState& state);

}  // namespace etherm
