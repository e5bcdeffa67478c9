#include "thermal/restart_time.h"

#include <cmath>

#include "textio/text_file.h"

namespace etherm {

double FindRestartTime(AnalysisState& state, const std::string& temperatureFileName) {
  TextFile in;
  in.OpenForReading(temperatureFileName);
  SkipLine(in);
  SkipLine(in);

  const int n = state.deviceCount;
  const double start = state.windowStartTime;
  double found = -1.0;  // no deviating line yet
  state.sampleTime = ReadReal(in);
  double previous = state.sampleTime;
  bool atEnd = false;
  for (;;) {
    if (state.sampleTime < start) {
      SkipLine(in);
    } else {
      // The start line of a later window was accepted with these temperatures already.
      const bool compared = !(state.sampleTime == start && start > 0);
      for (int i = 1; i <= n; ++i) {
        state.deviceTemperature[i] = ReadReal(in);
        if (compared && std::fabs(state.deviceTemperature[i] - state.previousTemperature[i]) >
                            TemperatureTolerance) {
          found = state.sampleTime;
        }
      }
      SkipLine(in);
    }
    if (found < -0.5) {
      previous = state.sampleTime;
      state.sampleTime = ReadReal(in);
    }
    atEnd = AtEnd(in);
    if (atEnd || found == state.sampleTime) break;
  }
  if (atEnd) found = previous;
  in.Close();
  return found;
}

}  // namespace etherm
