#pragma once

#include "model/analysis_state.h"

namespace etherm {

// Refuses a circuit (baseName + ".cir") without a ".PROBE" line. The simulator then records
// no quantities, every device would dissipate nothing, and the analysis would settle at the
// ambient temperature as if all were well. The drivers call it when an analysis starts.
void CheckCircuitHasProbeLine(const AnalysisState& state);

}  // namespace etherm
