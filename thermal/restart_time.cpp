#include "thermal/restart_time.h"

#include <cmath>

#include "textio/text_file.h"

namespace etherm {

RestartTime FindRestartTime(int deviceCount, double windowStart, const DeviceTable<double>& given,
                            const std::string& temperatureFileName) {
  TextFile in;
  in.OpenForReading(temperatureFileName);
  SkipLine(in);
  SkipLine(in);

  RestartTime result;
  double found = -1.0;  // no deviating line yet
  double time = ReadReal(in);
  double previous = time;
  bool atEnd = false;
  for (;;) {
    if (time < windowStart) {
      SkipLine(in);
    } else {
      // The start line of a later window was accepted with these temperatures already.
      const bool compared = !(time == windowStart && windowStart > 0);
      for (int i = 1; i <= deviceCount; ++i) {
        result.temperatures[i] = ReadReal(in);
        if (compared && std::fabs(result.temperatures[i] - given[i]) > TemperatureTolerance) {
          found = time;
        }
      }
      SkipLine(in);
    }
    if (found < -0.5) {
      previous = time;
      time = ReadReal(in);
    }
    atEnd = AtEnd(in);
    if (atEnd || found == time) break;
  }
  if (atEnd) found = previous;
  in.Close();
  result.time = found;
  return result;
}

}  // namespace etherm
