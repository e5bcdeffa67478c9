#pragma once

#include <vector>

#include "model/analysis_state.h"
#include "model/transient_tables.h"

namespace etherm {

struct RestartTime {
  double time = 0;                     // s, where the next window starts
  DeviceTable<double> temperatures{};  // K, of the line where the reading stopped
};

// Finds, in the rows of a transient temperature table (the time and the temperatures of
// devices 1..deviceCount), the time from which the next window starts: the time of the first
// row at or after windowStart whose temperatures differ from those given by more than
// TemperatureTolerance. The row at windowStart itself is read but not compared when
// windowStart is above 0. When the first deviating row is the last row, the result is the time
// of the row before it (its own when it is the only row); when no row deviates, the time of the
// last row. The temperatures are those of the row where the reading stopped (rows before
// windowStart are never read into them). No rows give time 0 and temperatures of 0, as a table
// file without lines reads.
// `tolerance` (K) replaces TemperatureTolerance where a run asks for another.
RestartTime FindRestartTime(int deviceCount, double windowStart, const DeviceTable<double>& given,
                            const std::vector<TransientRow>& rows,
                            double tolerance = TemperatureTolerance);

}  // namespace etherm
