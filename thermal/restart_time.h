#pragma once

#include <string>

#include "model/analysis_state.h"

namespace etherm {

// Reads the transient temperature table temperatureFileName (two header lines, then per line
// the time and the temperatures of devices 1..deviceCount) and returns the time from which the
// next window starts: the time of the first line at or after windowStartTime whose
// temperatures differ from previousTemperature by more than TemperatureTolerance. The line at
// windowStartTime itself is loaded but not compared when windowStartTime is above 0. When the
// first deviating line is the last line, the result is the time of the line before it (its own
// when it is the only line); when no line deviates, the time of the last line.
// deviceTemperature holds the temperatures of the line where the reading stopped (lines before
// windowStartTime are never loaded); sampleTime the last time read.
double FindRestartTime(AnalysisState& state, const std::string& temperatureFileName);

}  // namespace etherm
