#pragma once

#include "model/analysis_state.h"

namespace etherm {

// Reads the problem file baseName + ".par" into the problem description of the state. The
// first character of the file selects the layout: 'T' or 't' the transient layout, anything
// else the DC layout. Numbers are read with ReadInteger/ReadReal (missing numbers at the end
// of the file read as 0); entries the file does not set keep their earlier contents; the DC
// layout also sets sweepValue to sweepStart. probeNodeCount becomes the sum of
// (terminalCount - 1).
//
// Failures:
// - the file cannot be opened: the name fields are blank, nothing else has changed;
// - a number that cannot be read ("Invalid numeric input"): the fields read before it keep
//   their new values;
// - a file beyond the limits of the state (device count outside 1..10, a name of 8 or more
//   characters or one not followed by a blank, fewer than 2 or more than 11 terminals (more
//   node quantities than any analysis carries), a coupling entry naming a device outside
//   1..deviceCount, a term count outside 0..4, a transient kind code other than 0..3, more
//   than 10 values carried between transient windows): refused with a text
//   naming the device and the limit, before any field of the state changes.
void ReadProblemFile(AnalysisState& state);

// Limits that only one analysis has; the drivers call these when an analysis starts, after
// the problem file is read. Each throws Failure naming the device and what is wrong.
// DC: at most 4 probe node quantities, kind codes 1, 2 or 3, a nonzero sweep step.
void CheckDcProblem(const AnalysisState& state);
// Transient: every term in use has a time constant above zero.
void CheckTransientProblem(const AnalysisState& state);

}  // namespace etherm
