#pragma once

#include <string>

#include "model/analysis_state.h"

namespace etherm {

struct RestartTime {
  double time = 0;                     // s, where the next window starts
  DeviceTable<double> temperatures{};  // K, of the line where the reading stopped
};

// Reads the transient temperature table temperatureFileName (two header lines, then per line
// the time and the temperatures of devices 1..deviceCount) and finds the time from which the
// next window starts: the time of the first line at or after windowStart whose temperatures
// differ from those given by more than TemperatureTolerance. The line at windowStart itself
// is read but not compared when windowStart is above 0. When the first deviating line is the
// last line, the result is the time of the line before it (its own when it is the only line);
// when no line deviates, the time of the last line. The temperatures are those of the line
// where the reading stopped (lines before windowStart are never read into them).
RestartTime FindRestartTime(int deviceCount, double windowStart, const DeviceTable<double>& given,
                            const std::string& temperatureFileName);

}  // namespace etherm
