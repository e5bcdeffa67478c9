// A switching converter carried from window to window: a window that starts anywhere in a
// switching period from the whole state the simulator saved goes on as the uninterrupted run
// does, and probes of voltage differences or of source-driven nodes never become .ic entries.

#include <cmath>
#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/run_files.h"
#include "extraction/result_extraction.h"
#include "extraction/saved_state.h"
#include "model/analysis_listener.h"
#include "simulator/child_process.h"

namespace etherm {
namespace {

// 24 V to 12 V at 100 kHz. Gear integration: trapezoidal steps ring without end in the device
// capacitances an ideal source drives after each edge, a numerical artefact no restart can
// repeat. The tight tolerance: at the default one, where the solver puts its steps at the edges
// moves the energy of a 50 us stretch by about 1 % between two runs of the same circuit.
std::string Buck(const std::string& probes, const std::string& tran) {
  return "Buck converter, 24 V to 12 V at 100 kHz\n"
         "VIN in 0 DC 24\n"
         "VG gd sw PULSE(0 12 0 50n 50n 4.9u 10u)\n"
         "RG gd g 10\n"
         "M1 in g sw MSW\n"
         "D1 0 sw DF\n"
         "L1 sw out 47u\n"
         "C1 out 0 100u\n"
         "RL out 0 2\n"
         "Eds ds 0 in sw 1\n"
         "Egs gs 0 g sw 1\n"
         "Eak ak 0 0 sw 1\n"
         ".MODEL MSW VDMOS(T_ABS=27 VTO=3 KP=10 CGDMAX=1n CGDMIN=0.1n CGS=1n CJO=1n)\n"
         ".MODEL DF D(T_ABS=27 IS=1e-8 N=1.2 CJO=200p TT=20n)\n"
         ".OPTIONS METHOD=GEAR RELTOL=1e-4\n" +
         tran + "\n.PROBE/CSDF " + probes + "\n.END\n";
}

const char kDifferenceProbes[] = "V(in,sw) ID(M1) V(g,sw) IG(M1) V(0,sw) I(D1)";

// The switch's and the diode's energy (J) over [from, to] from rows of time, V(in,sw),
// ID(M1), V(g,sw), IG(M1), V(0,sw), I(D1); powers linear between rows.
std::vector<double> Energies(const std::vector<std::vector<double>>& rows, double from, double to) {
  std::vector<double> energy(2, 0.0);
  auto power = [](const std::vector<double>& r) {
    return std::vector<double>{r[1] * r[2] + r[3] * r[4], r[5] * r[6]};
  };
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const double ta = rows[i - 1][0], tb = rows[i][0];
    const double lo = std::max(ta, from), hi = std::min(tb, to);
    if (!(hi > lo) || !(tb > ta)) continue;
    const std::vector<double> pa = power(rows[i - 1]), pb = power(rows[i]);
    for (std::size_t d = 0; d < 2; ++d) {
      const double at = pa[d] + (pb[d] - pa[d]) * (lo - ta) / (tb - ta);
      const double bt = pa[d] + (pb[d] - pa[d]) * (hi - ta) / (tb - ta);
      energy[d] += 0.5 * (at + bt) * (hi - lo);
    }
  }
  return energy;
}

class WholeStateRestart : public AnalysisTest {
 protected:
  void TwoDevices(const std::string& probes) {
    WriteLines("c.cir", Buck(probes, ".TRAN 20n 90u"));
    AnalysisState& s = state();
    s.problem = Problem{};
    s.problem.devices.assign(2, Device{});
    s.problem.devices[0].name = NameField::From("MSW");
    s.problem.devices[0].terminalCount = 3;
    s.problem.devices[1].name = NameField::From("DF");
    s.problem.devices[1].terminalCount = 2;
    s.deviceTemperature[1] = s.deviceTemperature[2] = 300.0;  // 27 degrees, as the reference
  }
};

TEST_F(WholeStateRestart, EachDeviceDissipatesOverTheNext50usWhatTheWholeRunGives) {
  TwoDevices(kDifferenceProbes);
  AnalysisState& s = state();
  const std::string program = std::getenv("ETHERM_SIMULATOR");
  ASSERT_EQ(RunChild(program, {"c.cir"}, 120).exitStatus, 0) << ReadFile("c.out");
  ExtractTransientResults("c.csd", "c.wyn", 0.0, 1.0);
  auto full = Numbers("c.wyn", 2);
  std::erase_if(full, [](const std::vector<double>& row) { return row.size() < 7; });
  const std::string results = ReadFile("c.wyn");

  s.iterationNumber = 1;
  s.windowStartTime = 0.0;
  s.windowEndTime = 9e-05;
  WriteWindowCircuit(s, "c.wyn", results, 1);  // the first window captures the probe list

  struct Restart {
    const char* phase;
    double at;  // s; the window starts at the first point of the whole run from here on
  };
  // The gate drive rises from 20 us for 50 ns and falls from 24.95 us.
  const Restart restarts[] = {
      {"start of the on-phase", 20.05e-6},
      {"mid on-phase", 22.5e-6},
      {"on the turn-off edge", 24.97e-6},
      {"mid off-phase", 27.5e-6},
  };
  for (const Restart& r : restarts) {
    SCOPED_TRACE(r.phase);
    std::size_t row = 0;
    while (full[row][0] < r.at) ++row;
    const double start = full[row][0];
    const SavedState saved = ReadSavedState("c.stan", 0.0, start);
    ASSERT_EQ(saved.kind, SavedState::Kind::kFound);
    ++s.iterationNumber;
    s.windowStartTime = start;
    s.windowEndTime = (start + 52e-6) / 1.05;
    WriteWindowCircuit(s, "c.wyn", results, 1, &saved.state);
    s.windowEndTime = 1.0;  // the whole run of the window
    const auto window = SimulateTable("c" + s.iterationText + ".cir", start, 7);
    const std::vector<double> whole = Energies(full, start, start + 50e-6);
    const std::vector<double> restarted = Energies(window, start, start + 50e-6);
    for (std::size_t d = 0; d < 2; ++d) {
      EXPECT_NEAR(restarted[d], whole[d], 0.01 * whole[d])
          << (d == 0 ? "switch" : "diode") << " from " << start << " s in\n"
          << ReadFile("c" + s.iterationText + ".cir");
    }
  }
}

// The analysis through several windows: no .ic entry for a difference or a node a source
// drives (ngspice refuses the one and crawls on the other), and each window starts from the
// whole state.
TEST_F(WholeStateRestart, ProbesOfDifferencesAndOfSourceDrivenNodesRunThroughWindows) {
  const char* probeSets[] = {kDifferenceProbes, "V(ds) ID(M1) V(gs) IG(M1) V(ak) I(D1)"};
  setenv("ETHERM_SIM_TIMEOUT", "120", 1);  // a crawling window fails instead of waiting 600 s
  for (const char* probes : probeSets) {
    SCOPED_TRACE(probes);
    WriteLines("c.cir", Buck(probes, ".TRAN 20n 200u"));
    WriteLines("c.par",
               "TRAN buck converter\n2\n0.0002\n"
               "MSW 3 1 2.0 1 0.0001 0\n2 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
               "DF 2 1 3.0 1 0.0001 0\n0\n"
               "0\n0\n1\n");
    state_ = std::make_unique<AnalysisState>();
    state().baseName = "c";
    RunTransientAnalysis(state());
    const auto temperatures = Numbers("c.tem", 2);
    ASSERT_FALSE(temperatures.empty());
    EXPECT_GE(temperatures.back()[0], 2e-4);
    int laterWindows = 0;
    for (const std::string& name : Files()) {
      if (name.size() < 5 || name.substr(name.size() - 4) != ".cir" || name == "c.cir") continue;
      for (const std::string& line : Lines(name)) {
        if (line.rfind(".ic", 0) != 0) continue;
        ++laterWindows;
        EXPECT_EQ(line.find(','), std::string::npos) << name << ": " << line;
        for (const char* fixed : {"V(ds)", "V(gs)", "V(ak)", "v(in)", "v(gd)"}) {
          EXPECT_EQ(line.find(std::string(fixed) + "="), std::string::npos) << name << ": " << line;
        }
        EXPECT_NE(line.find("v(sw)="), std::string::npos) << name << ": " << line;
      }
    }
    EXPECT_GE(laterWindows, 2);
  }
  unsetenv("ETHERM_SIM_TIMEOUT");
}

class WarningRecorder : public AnalysisListener {
 public:
  void Warning(std::string_view text) override { warnings.emplace_back(text); }
  std::vector<std::string> warnings;
};

TEST_F(WholeStateRestart, ACircuitTooLargeForItsStateIsToldOnceAndCarriesTheProbedNodes) {
  std::string circuit = "ladder\nI1 0 n0 PULSE(0 1 0 1u 1u 50u 100u)\nD1 n0 0 DP\n";
  for (int k = 1; k <= 1001; ++k) {
    circuit += "R" + std::to_string(k) + " n" + std::to_string(k - 1) + " n" +
               (k == 1001 ? std::string("0") : std::to_string(k)) + " 10\n";
  }
  circuit +=
      ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.1)\n.TRAN 10u 300u\n"
      ".PROBE/CSDF V(n0) I(D1)\n.END\n";
  WriteLines("c.cir", circuit);
  WriteLines("c.par", "TRAN ladder\n1\n0.0003\nDP 2 1 25 1 0.0001 0\n0\n0\n0\n1\n");
  WarningRecorder display;
  state().listener = &display;
  RunTransientAnalysis(state());
  ASSERT_EQ(display.warnings.size(), 1u);
  EXPECT_EQ(display.warnings[0],
            "the circuit has 1001 state values, more than the simulator saves; later windows "
            "start from the probed nodes and the listed inductors and capacitors only");
  EXPECT_GE(Numbers("c.tem", 2).back()[0], 3e-4);
  for (const std::string& line : Lines("c2.cir")) {
    if (line.rfind(".ic", 0) == 0) {
      EXPECT_EQ(line.find("n1"), std::string::npos) << line;
    }
  }
}

}  // namespace
}  // namespace etherm
