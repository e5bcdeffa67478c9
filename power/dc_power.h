#pragma once

#include <string>

#include "model/analysis_state.h"

namespace etherm {

// The DC power table from the DC result table. Writes tableName's title line (first 120
// bytes), a names line ("dc ", then each device's 8-byte name and a blank), then for each data
// line its sweep value and the power of each device of kind 1, 2 or 3 (each 23 wide and
// followed by a blank):
//   kind 1 (q1, q2):          q2 q1
//   kind 2 (q1 .. q4):        q2 q1 + q3 q4
//   kind 3 (q1 .. q6):        q1 q2 - (q6 + q4) q3
// Values are read as tokens, missing ones as 0; at least one line is written. nodeValue[1] :=
// q1 (kinds 1-3), [2] := q3 (kinds 2, 3), [3] := q5 (kind 3), device after device, line after
// line; nodeValue[4] is left alone. Reads deviceCount, deviceName, deviceParameters[i][0].
//
// Precondition: every kind code is 1, 2 or 3 (CheckDcProblem refuses other codes when a DC
// analysis starts). A device with another code reads no values and gets no column, which
// shifts the later columns against their devices.
//
// Failures: the I/O texts ("File not found", ...), "Invalid numeric input", the arithmetic
// texts for a product that overflows; files keep what was written before.
void ComputeDcPower(AnalysisState& state, const std::string& tableName,
                    const std::string& powerTableName);

}  // namespace etherm
