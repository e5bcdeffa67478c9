#include "thermal/dc_temperatures.h"

#include <cmath>

#include "textio/checked_arithmetic.h"
#include "thermal/table_lines.h"

namespace etherm {

void ComputeDcTemperatures(AnalysisState& state, const std::string& powerFileName,
                           const std::string& temperatureFileName) {
  TextFile in;
  TextFile out;
  in.OpenForReading(powerFileName);
  out.OpenForWriting(temperatureFileName);
  CopyHeaderLines(in, out);

  const int n = state.deviceCount;
  // The test follows the line, so a table without data lines still gives one line.
  do {
    const double x = ReadReal(in);
    for (int i = 1; i <= n; ++i) state.devicePower[i] = ReadReal(in);
    SkipLine(in);

    const auto& p = state.devicePower;
    for (int i = 1; i <= n; ++i) {
      double t = checked::Mul(state.thermalResistance[i], p[i]);
      t = checked::Add(t, AmbientTemperature);
      for (int j = 1; j <= n; ++j) {
        t = checked::Add(t, checked::Mul(state.thermalCoupling[i][j], p[j]));
      }
      state.deviceTemperature[i] = t;
    }

    WriteReal(out, x);
    WriteChar(out, ' ');
    for (int i = 1; i <= n; ++i) {
      WriteReal(out, state.deviceTemperature[i]);
      WriteChar(out, ' ');
    }
    WriteLineEnd(out);
  } while (!AtEnd(in));
  in.Close();
  out.Close();
}

bool DcTemperaturesSettled(AnalysisState& state, const std::string& temperatureFileName) {
  TextFile in;
  in.OpenForReading(temperatureFileName);
  SkipLine(in);
  SkipLine(in);

  const int n = state.deviceCount;
  bool settled = true;
  do {
    ReadReal(in);  // the swept value
    for (int i = 1; i <= n; ++i) {
      state.deviceTemperature[i] = ReadReal(in);
      if (std::fabs(state.deviceTemperature[i] - state.previousTemperature[i]) >
          TemperatureTolerance) {
        settled = false;
      }
    }
    SkipLine(in);
  } while (!AtEnd(in) && settled);
  in.Close();
  return settled;
}

}  // namespace etherm
