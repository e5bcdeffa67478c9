#pragma once

#include <string>

#include "model/analysis_state.h"
#include "model/problem.h"

namespace etherm {

// Reads the problem file baseName + ".par". The first character of the file selects the
// layout: 'T' or 't' the transient layout, anything else the DC layout. Numbers are read with
// ReadInteger/ReadReal; what the file does not set is zero or empty, whatever was read before.
//
// Failures (nothing is returned): the I/O texts ("File not found: p.par"), "Invalid numeric
// input" with the token, and a refusal naming the device and the value for a file beyond the
// limits: a device count outside 1..10, a name of 8 or more characters or one not followed by
// a blank, fewer than 2 or more than 11 terminals (more node quantities than any analysis
// carries), a coupling entry naming a device outside 1..deviceCount or, in the transient
// layout, the device itself, a term count outside 0..4, a kind code other than 0..3 (DC: the
// text of CheckDcProblem), more than 10 values carried between transient windows, two devices
// of one name, a negative thermal resistance or term weight, a file that ends before its last
// value.
Problem ReadProblemFile(const std::string& baseName);

// Limits that only one analysis has; the drivers call these when an analysis starts, after
// the problem file is read and before any file is touched. Each throws Failure naming the
// device or the values and what is wrong. Both refuse a file of the other layout.
// DC: kind codes 1, 2 or 3; a sweep step that is not 0, leads from the start towards the end,
// changes the sweep value and gives at most kMaxSweepPoints points.
void CheckDcProblem(const Problem& problem);
// Transient: an end time above 0; every term in use has a time constant above zero.
void CheckTransientProblem(const Problem& problem);

// Makes problem the state's problem, with the state's ambient temperature (the DC layout also
// sets sweepValue to the sweep start).
void UseProblem(AnalysisState& state, const Problem& problem);

}  // namespace etherm
