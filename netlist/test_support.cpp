#include "netlist/test_support.h"

#include <sstream>

#include "textio/number_text.h"
#include "textio/text_file.h"

namespace etherm::testing {

namespace {

CircuitWriterInput InputOf(const WriterSetup& s) {
  return {s.problem, s.baseName, s.iterationNumber, s.deviceTemperature, s.probeNodeNames};
}

void Keep(WriterSetup& s, const WrittenCircuit& written) {
  s.iterationText = written.iterationText;
  s.probeNodeNames = written.probeNodeNames;
  if (!written.startTimeText.empty()) s.startTimeText = written.startTimeText;
}

}  // namespace

void WriteDcCircuitFile(WriterSetup& setup) {
  Keep(setup,
       etherm::WriteDcCircuitFile(InputOf(setup), {setup.sweepValue, setup.previousNodeValue}));
}

void WriteTransientCircuitFile(WriterSetup& setup) {
  const std::string name = setup.baseName + ".wyn";
  TextFile results;
  results.OpenForReading(name);
  Keep(setup, etherm::WriteTransientCircuitFile(
                  InputOf(setup), {setup.windowStartTime, setup.windowEndTime, name,
                                   std::string(results.data(), results.end()), 1, setup.state}));
}

void SetProbeNodeCount(Problem& problem, int n) {
  for (Device& d : problem.devices) d.terminalCount = 1;
  if (!problem.devices.empty()) problem.devices.front().terminalCount = 1 + n;
}

void SetUpState(WriterSetup& state, const std::filesystem::path& folder) {
  state.baseName = (folder / "c").string();
  state.problem.devices.assign(2, Device{});
  state.problem.devices[0].name = NameField::From("QN");
  state.problem.devices[1].name = NameField::From("QSUB");
  state.problem.devices[0].terminalCount = 2;
  state.problem.devices[1].terminalCount = 2;
  state.deviceTemperature[1] = 295.0;
  state.deviceTemperature[2] = 350.5;
  state.probeNodeNames.Fill(120);
  const std::string names = "V(3) V(5) ";
  for (std::size_t i = 0; i < names.size(); ++i) state.probeNodeNames.at(int(i) + 1) = names[i];
  state.problem.inductorCount = 1;
  state.problem.capacitorCount = 1;
  state.iterationNumber = 3;
  state.problem.sweepStart = 5.0;
  state.sweepValue = 7.5;
  state.problem.sweepStep = 0.5;
  state.previousNodeValue[1] = 0.7;
  state.previousNodeValue[2] = -1.5;
  state.windowStartTime = 9e-05;
  state.windowEndTime = 2e-04;
}

void WriteResults(const WriterSetup& state) {
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
