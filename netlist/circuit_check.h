#pragma once

#include "model/analysis_state.h"

namespace etherm {

// Refuses a circuit (baseName + ".cir") that could only give a silently wrong analysis:
// - without a ".PROBE" line the simulator records nothing, every device dissipates nothing and
//   the analysis settles at the ambient temperature as if all were well;
// - a modelled device whose name matches no ".MODEL" line (name as written) and no subcircuit
//   call (name in upper case) never receives its temperature, so it stays cold in the circuit
//   while the thermal model heats it.
// The drivers call it when an analysis starts, after the problem file is read.
void CheckCircuitForProblem(const AnalysisState& state);

}  // namespace etherm
