#pragma once

#include "model/analysis_state.h"

namespace etherm {

// The DC analysis behind "Start DC": reads baseName + ".par" and runs the sweep to its end,
// each point iterated until its temperatures settle. Throws Failure where it stops; files keep
// what was written.
void RunDcAnalysis(AnalysisState& state);

// The transient analysis behind "Start TRAN": reads baseName + ".par" and runs the time axis
// from 0 to the end time in windows. Throws Failure where it stops; files keep what was written.
void RunTransientAnalysis(AnalysisState& state);

}  // namespace etherm
