#pragma once

#include "model/analysis_state.h"

namespace etherm {

// Reads the problem file baseName + ".par" into the problem description of the state. The
// first character of the file selects the layout: 'T' or 't' the transient layout, anything
// else the DC layout; layout records which. Numbers are read with ReadInteger/ReadReal;
// entries the file does not set keep their earlier contents; the DC layout also sets
// sweepValue to sweepStart. probeNodeCount becomes the sum of (terminalCount - 1).
//
// Failures:
// - the file cannot be opened: the name fields are blank, nothing else has changed;
// - a number that cannot be read ("Invalid numeric input"): the fields read before it keep
//   their new values;
// - a file beyond the limits of the state (device count outside 1..10, a name of 8 or more
//   characters or one not followed by a blank, fewer than 2 or more than 11
//   terminals (more node quantities than any analysis carries), a coupling entry naming
//   a device outside 1..deviceCount or, in the transient layout, the device itself, a term
//   count outside 0..4, a transient kind code other than 0..3, more than 10 values carried
//   between transient windows, two devices of one name, a negative thermal resistance or term
//   weight, a file that ends before its last value): refused with a text naming the device
//   and the value, before any field of the state changes.
void ReadProblemFile(AnalysisState& state);

// Limits that only one analysis has; the drivers call these when an analysis starts, after
// the problem file is read and before any file is touched. Each throws Failure naming the
// device or the values and what is wrong. Both refuse a file of the other layout.
// DC: kind codes 1, 2 or 3; a sweep step that is not 0, leads from the start towards the end,
// changes the sweep value and gives at most kMaxSweepPoints points.
void CheckDcProblem(const AnalysisState& state);
// Transient: an end time above 0; every term in use has a time constant above zero.
void CheckTransientProblem(const AnalysisState& state);

}  // namespace etherm
