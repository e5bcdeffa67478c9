// Time-dependent sources through the transient circuit writer and the real etherm-sim: a window
// starting at any time gives the waveform the whole run gives at the same absolute times.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/run_files.h"
#include "extraction/result_extraction.h"
#include "simulator/child_process.h"
#include "textio/number_text.h"

namespace etherm {
namespace {

// The source drives node 1; the diode is the one modelled device the writer needs.
std::string Circuit(const std::string& source, const std::string& tran) {
  return "source in windows\n" + source +
         "\n"
         "R1 1 0 1k\n"
         "D1 1 2 DX\n"
         "R2 2 0 1k\n"
         ".MODEL DX D(T_ABS=27 IS=1e-14)\n" +
         tran +
         "\n"
         ".PROBE/CSDF V(1) I(D1)\n"
         ".END\n";
}

class SourceWindows : public AnalysisTest {
 protected:
  // The rows (absolute time, V(1), I(D1)) of a run, as the transient analysis reads them.
  std::vector<std::vector<double>> Simulate(const std::string& circuit, double offset) {
    return SimulateTable(circuit, offset, 3);
  }

  // The user's circuit with `source` run once over [0, end] (the reference from `reference`,
  // a source with the same waveform), then through the writer in a first window and in
  // windows from each of `starts` to the end: V(1) agrees within 0.1 % of its full scale.
  void CheckWindows(const std::string& source, const std::string& reference,
                    const std::string& tran, double end, const std::vector<double>& starts) {
    AnalysisState& s = state();
    s.windowEndTime = end;
    WriteLines("ref.cir", Circuit(reference, tran));
    const auto full = Simulate("ref.cir", 0.0);
    ASSERT_GT(full.size(), 100u);
    double scale = 0;
    for (const auto& row : full) scale = std::max(scale, std::fabs(row[1]));

    // The accumulated results as the driver keeps them: two header lines, then a line at each
    // window start with the node value and its companion.
    std::string results = "TITLE='source in windows'\n time V(1) I(D1)\n";
    for (double start : starts) {
      results += FormatExponent(start, 23) + " " + FormatExponent(ValueAt(full, start), 23) + " " +
                 FormatExponent(0.0, 23) + "\n";
    }
    WriteLines("c.cir", Circuit(source, tran));
    WriteLines("c.wyn", results);

    s.problem = Problem{};
    s.problem.devices.push_back(Device{});
    s.problem.devices[0].name = NameField::From("DX");
    s.problem.devices[0].terminalCount = 2;
    s.deviceTemperature[1] = 300.0;
    s.iterationNumber = 1;
    s.windowStartTime = 0.0;
    s.windowEndTime = 9e-05;
    WriteWindowCircuit(s, "c.wyn", ReadFile("c.wyn"),
                       1);  // the first window captures the probe list
    std::vector<double> windowStarts = {0.0};
    windowStarts.insert(windowStarts.end(), starts.begin(), starts.end());
    for (double start : windowStarts) {
      SCOPED_TRACE("window from " + std::to_string(start * 1e6) + " us");
      ++s.iterationNumber;
      s.windowStartTime = start;
      s.windowEndTime = end / 1.05;  // the window then runs to the end
      WriteWindowCircuit(s, "c.wyn", ReadFile("c.wyn"), 1);
      const auto window = Simulate("c" + s.iterationText + ".cir", start);
      ASSERT_GT(window.size(), 5u);
      double worst = 0, at = 0;
      for (const auto& row : window) {
        const double deviation = std::fabs(row[1] - ValueAt(full, row[0]));
        if (deviation > worst) worst = deviation, at = row[0];
      }
      EXPECT_LE(worst, 1e-3 * scale) << "worst at " << at << " s in\n"
                                     << ReadFile("c" + s.iterationText + ".cir");
    }
  }
};

TEST_F(SourceWindows, EachSourceKeepsItsAbsoluteTiming) {
  struct Case {
    const char* kind;
    std::string source;
  };
  const std::vector<Case> cases = {
      {"periodic PULSE", "V1 1 0 PULSE(0 5 10u 2u 3u 20u 50u)"},
      {"single PULSE", "V1 1 0 PULSE(1 -2 30u 5u 5u 15u)"},
      {"SIN", "V1 1 0 SIN(0.5 2 20k 5u 1e4 30)"},
      {"PWL", "V1 1 0 PWL(0 0 10u 3 25u -1 60u 2 90u 0)"},
      {"EXP", "V1 1 0 EXP(0 4 15u 8u 55u 12u)"},
      {"SFFM", "V1 1 0 SFFM(0 1 40k 1.5 8kHz 30)"},
  };
  // Starts every 7 us over two periods of the pulse fall in every phase of every source.
  std::vector<double> starts;
  for (int k = 1; k <= 12; ++k) starts.push_back(7e-6 * k);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    CheckWindows(c.source, c.source, ".TRAN 0.05u 100u 0 0.025u", 100e-6, starts);
  }
}

TEST_F(SourceWindows, PulseDelayNgspicePanicsOnRunsInALaterWindow) {
  // ngspice alone stops with "breakpoint in the past" on this delay and on the -80 us the
  // window from 20 us gives it; from time 0 on it is the pulse delayed by 40 us.
  CheckWindows("V1 1 0 PULSE(0 5 -60u 1u 1u 40u 100u)", "V1 1 0 PULSE(0 5 40u 1u 1u 40u 100u)",
               ".TRAN 0.1u 130u", 130e-6, {20e-6, 50e-6});
}

TEST_F(SourceWindows, SffmWithoutItsFrequenciesIsRefusedBeforeTheFirstRun) {
  WriteLines("c.cir", Circuit("V1 1 0 SFFM(0 1 40k 1.5)", ".TRAN 0.05u 100u"));
  WriteLines("c.par", "TRAN sffm\n1\n0.0001\nDX 2 1 25 1 0.0003 0\n0\n0\n0\n1\n");
  EXPECT_EQ(FailureOf([&] { RunTransientAnalysis(state()); }),
            "Circuit file \"c.cir\": SFFM source without its carrier frequency FC or signal "
            "frequency FS: FC and FS must be given (not 0), since ngspice would otherwise take "
            "them from each time window's length: V1 1 0 SFFM(0 1 40k 1.5)");
  for (const std::string& name : Files()) EXPECT_EQ(name.find(".csd"), std::string::npos) << name;
}

}  // namespace
}  // namespace etherm
