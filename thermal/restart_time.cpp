#include "thermal/restart_time.h"

#include <cmath>

namespace etherm {

RestartTime FindRestartTime(int deviceCount, double windowStart, const DeviceTable<double>& given,
                            const std::vector<TransientRow>& rows, double tolerance) {
  RestartTime result;
  if (rows.empty()) return result;
  double found = -1.0;  // no deviating row yet
  std::size_t line = 0;
  double time = rows[0].time;
  double previous = time;
  bool atEnd = false;
  for (;;) {
    if (!(time < windowStart)) {
      // The start row of a later window was accepted with these temperatures already.
      const bool compared = !(time == windowStart && windowStart > 0);
      for (int i = 1; i <= deviceCount; ++i) {
        result.temperatures[i] = rows[line].value[static_cast<std::size_t>(i)];
        if (compared && std::fabs(result.temperatures[i] - given[i]) > tolerance) {
          found = time;
        }
      }
    }
    atEnd = line + 1 >= rows.size();
    if (found < -0.5) {
      previous = time;
      // Past the last row a table file reads the time 0.
      time = atEnd ? 0.0 : rows[++line].time;
    }
    if (atEnd || found == time) break;
  }
  if (atEnd) found = previous;
  result.time = found;
  return result;
}

}  // namespace etherm
