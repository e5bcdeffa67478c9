#pragma once

#include "model/analysis_state.h"

namespace etherm {

// Writes the circuit file of one DC iteration, baseName + iterationText + ".cir", from the
// user's circuit baseName + ".cir", and sets iterationText. Lines are copied whole as read
// (CR LF) except:
// - subcircuit calls and ".MODEL" lines of modelled devices get the device temperatures;
// - the ".DC" line keeps its command and source (with the blanks after them) and sweeps the
//   single point sweepValue: sweepValue, sweepValue and stepSize in the 23-wide exponent form;
// - ".NODES..." lines after the first sweep point become ".NODESET " with the node
//   quantities of the ".PROBE" line set to previousNodeValue;
// - ".PROBE" lines are copied, and their node quantities stored into probeNodeNames.
// Failures (a missing input, a line that cannot be rewritten) end the analysis; the output
// file is closed and keeps the lines written before.
void WriteDcCircuitFile(AnalysisState& state);

}  // namespace etherm
