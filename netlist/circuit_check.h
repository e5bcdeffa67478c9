#pragma once

#include <string>

#include "model/analysis_kind.h"
#include "model/problem.h"

namespace etherm {

// The former name, for the callers in analysis/ until they name AnalysisKind.
using CircuitAnalysis = AnalysisKind;

// Refuses a circuit (baseName + ".cir") for the problem that could only give a silently wrong
// analysis:
// - without a ".PROBE" line the simulator records nothing, every device dissipates nothing and
//   the analysis settles at the ambient temperature as if all were well;
// - a modelled device whose name matches no ".MODEL" line (name as written) and no subcircuit
//   call (name in upper case) never receives its temperature, so it stays cold in the circuit
//   while the thermal model heats it;
// - a ".MODEL" line of a modelled device whose first parameter is not T_ABS=, or a subcircuit
//   call of one whose PARAMS: values lack t=, would lose the value the temperature replaces;
// - without the analysis line the writer rewrites (".DC" with its swept source, or ".TRAN"
//   followed by a blank with a print step above 0) every point would be recorded at 0;
// - a DC circuit with a ".NODESET" line carries at most 4 node quantities between points.
// The drivers call it when an analysis starts, after the problem file is read and before any
// file is written.
void CheckCircuitForProblem(const Problem& problem, const std::string& baseName,
                            AnalysisKind analysis);

}  // namespace etherm
