#include "netlist/test_support.h"

#include <sstream>

#include "textio/number_text.h"

namespace etherm::testing {

void SetUpState(AnalysisState& state, const std::filesystem::path& folder) {
  state.baseName = (folder / "c").string();
  state.deviceCount = 2;
  state.deviceName[1] = NameField::From("QN");
  state.deviceName[2] = NameField::From("QSUB");
  state.deviceTemperature[1] = 295.0;
  state.deviceTemperature[2] = 350.5;
  state.probeNodeCount = 2;
  state.probeNodeNames.Fill(120);
  const std::string names = "V(3) V(5) ";
  for (std::size_t i = 0; i < names.size(); ++i) state.probeNodeNames.at(int(i) + 1) = names[i];
  state.inductorCount = 1;
  state.capacitorCount = 1;
  state.iterationNumber = 3;
  state.sweepStart = 5.0;
  state.sweepValue = 7.5;
  state.stepSize = 0.5;
  state.previousNodeValue[1] = 0.7;
  state.previousNodeValue[2] = -1.5;
  state.windowStartTime = 9e-05;
  state.windowEndTime = 2e-04;
}

void WriteResults(const AnalysisState& state) {
  const auto line = [](double t, const std::vector<double>& values) {
    std::string text = FormatExponent(t, 23);
    for (double v : values) text += " " + FormatExponent(v, 23);
    return text;
  };
  WriteBytes(state.baseName + ".wyn",
             CrLfLines({"accumulated results", " time V(3) I(Q1) V(5) I(QSUB) I(L1) V(C1)",
                        line(0.0, {1, 2, 3, 4, 5, 6}),
                        line(state.windowStartTime, {0.71, 9.9, -2.5, 9.9, 0.125, 3.3})}));
}

}  // namespace etherm::testing
