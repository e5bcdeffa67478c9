#pragma once

#include <string>

#include "model/analysis_state.h"

namespace etherm {

// Static thermal network of the DC analysis. Reads the power table powerFileName (two header
// lines, then per line the swept value and the powers of devices 1..deviceCount) and writes
// temperatureFileName: the two header lines cut to 120 characters, then per line the swept
// value and T_i = 295 + R_i P_i + sum over j of C_ij P_j (all N x N couplings, the diagonal
// included), each number in the 23-character form followed by a blank. Leaves the last line's
// powers in devicePower and its temperatures in deviceTemperature. An overflow ends it with
// "Floating point overflow"; the lines written before stay.
void ComputeDcTemperatures(AnalysisState& state, const std::string& powerFileName,
                           const std::string& temperatureFileName);

// Reads the temperature table written by ComputeDcTemperatures into deviceTemperature line by
// line and returns false as soon as a line has a temperature more than TemperatureTolerance
// away from previousTemperature (all of that line's values are still loaded); true when every
// line read stays within it. deviceTemperature keeps the last line read.
bool DcTemperaturesSettled(AnalysisState& state, const std::string& temperatureFileName);

}  // namespace etherm
