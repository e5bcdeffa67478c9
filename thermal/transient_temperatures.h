#pragma once

#include <string>

#include "model/analysis_state.h"
#include "model/problem.h"

namespace etherm {

// The last line of a transient temperature table.
struct TransientTemperatureLine {
  double time = 0;                     // s
  double step = 0;                     // s, the last step after time 0
  DeviceTable<double> temperatures{};  // K, devices 1..n
};

// Thermal network of the transient analysis, by recursive convolution. Reads the power table
// powerFileName (two header lines, then per line the time and the powers of the network's
// devices) and computes, per line, the rise of every term k of every pair (i, j):
// - on a line at time 0 exactly, the steady state R_ij a_ijk P_j of all four term slots (the
//   slots above the pair's terms weigh nothing);
// - on any other line, over the step d from the previous line, with the power of device j
//   taken as the previous line's during the first half of the step and this line's during the
//   second: theta = e theta' + sqrt(e) c P'_j + c P_j, e = exp(-d / tau), c = (1 - sqrt(e)) R a,
//   for the pair's terms.
// Writes temperatureFileName (the header lines cut to 120 characters, then the time and
// T_i = ambient + the rises of all pairs (i, j)) and "temp.txt" (no header; the time and the rises
// in the order i, j, k). Every number is in the 23-character form followed by a blank.
// Powers, rises and times start at zero and carry over from line to line; a line at time 0
// starts them afresh. Returns the last line.
// Arithmetic failures end the call with their texts ("Floating point division by zero" for a
// zero time constant, "Invalid floating point operation" for 0/0, "Floating point overflow"
// for a time that runs backwards); the lines written before stay.
TransientTemperatureLine ComputeTransientTemperatures(const ThermalNetwork& network,
                                                      const std::string& powerFileName,
                                                      const std::string& temperatureFileName);

}  // namespace etherm
