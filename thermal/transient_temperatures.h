#pragma once

#include <string>

#include "model/analysis_state.h"
#include "model/file_names.h"

namespace etherm {

// Thermal network of the transient analysis, by recursive convolution. Reads the power table
// powerFileName (two header lines, then per line the time and the powers of devices
// 1..deviceCount) and computes, per line, the rise of every term k of every pair (i, j):
// - on a line at time 0 exactly, the steady state R_ij a_ijk P_j of all four term slots;
// - on any other line, over the step d from the previous line, with the power of device j
//   taken as the previous line's during the first half of the step and this line's during the
//   second: theta = e theta' + sqrt(e) c P'_j + c P_j, e = exp(-d / tau), c = (1 - sqrt(e)) R a,
//   for terms 1..termCount[i][j].
// Writes temperatureFileName (the header lines cut to 120 characters, then the time and
// T_i = 295 + the rises of all pairs (i, j)) and "temp.txt" (no header; the time and the rises
// in the order i, j, k). Every number is in the 23-character form followed by a blank.
//
// The powers, rises and times carry over in the state from line to line and from call to call;
// a line at time 0 starts them afresh. After the call deviceTemperature, sampleTime and
// stepSize hold the last line's values (stepSize the last step after time 0).
// A term slot above termCount weighs nothing, whatever weight an earlier problem left there.
// Arithmetic failures end the call with their texts ("Floating point division by zero" for a
// zero time constant, "Invalid floating point operation" for 0/0, "Floating point overflow"
// for a time that runs backwards); the lines written before stay.
void ComputeTransientTemperatures(AnalysisState& state, const std::string& powerFileName,
                                  const std::string& temperatureFileName);

}  // namespace etherm
