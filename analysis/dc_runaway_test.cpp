#include <cmath>
#include <fstream>
#include <sstream>

#include "analysis/analysis_test_support.h"
#include "simulator/child_process.h"

namespace etherm {
namespace {

// A diode fed from the swept source through a small resistance: its current follows the
// junction's temperature almost freely, so enough thermal resistance folds the curve.
std::string NearlyVoltageDriven(double temperatureC, const std::string& sweep) {
  std::ostringstream c;
  c << "diode nearly voltage driven\n"
       "V1 1 0 DC 1\n"
       "R1 1 2 0.1\n"
       "D1 2 0 DP\n"
       ".MODEL DP D(T_ABS="
    << temperatureC
    << " IS=2.5E-9 N=1.75 RS=0.01 XTI=3 EG=1.11)\n"
       ".DC V1 "
    << sweep
    << "\n"
       ".PROBE/CSDF V(2) I(D1)\n"
       ".END\n";
  return c.str();
}

struct Recorder : AnalysisListener {
  std::vector<LoopGainReport> reports;
  std::vector<std::string> warnings;
  void LoopGainFound(const LoopGainReport& r) override { reports.push_back(r); }
  void Warning(std::string_view text) override { warnings.emplace_back(text); }
};

class DcRunawayTest : public AnalysisTest {
 protected:
  // The diode's power at V1 = v with its junction held at temperature t (K), straight from the
  // simulator.
  double PowerAt(double v, double t) {
    std::ostringstream sweep;
    sweep << v << " " << v << " 1";
    WriteLines("fd.cir", NearlyVoltageDriven(t - 273.15, sweep.str()));
    const ChildResult run = RunChild(std::getenv("ETHERM_SIMULATOR"), {"fd.cir"}, 120);
    EXPECT_EQ(run.exitStatus, 0) << ReadFile("fd.out");
    // The data point: "#C x n" and then "value:index" pairs.
    const std::string csd = ReadFile("fd.csd");
    std::istringstream in(csd.substr(csd.find("#C")));
    std::string word;
    in >> word >> word >> word;
    double values[2] = {0, 0};
    for (double& value : values) {
      in >> word;
      value = std::stod(word.substr(0, word.find(':')));
    }
    return values[0] * values[1];
  }
};

TEST_F(DcRunawayTest, RunawayIsToldAtTheFirstPointPastTheFoldThoughItSettlesHotter) {
  WriteLines("c.cir", NearlyVoltageDriven(27, "1 8 1"));
  WriteLines("c.par", DiodeProblem(0.7, 0.05, 0.95, 300));
  Recorder recorder;
  state().listener = &recorder;
  RunDcAnalysis(state());
  const auto temperatures = Numbers("c.tem", 0);
  ASSERT_EQ(recorder.reports.size(), 5u);  // 0.7 .. 0.9
  ASSERT_EQ(temperatures.size(), 5u);
  for (std::size_t n = 0; n < recorder.reports.size(); ++n) {
    // 0.85 is past the fold: the cool branch has gone and the diode jumps hundreds of kelvin.
    EXPECT_EQ(recorder.reports[n].runaway, n == 3) << "at " << recorder.reports[n].x;
  }
  EXPECT_GT(temperatures[3][1] - temperatures[2][1], 300);
  ASSERT_FALSE(recorder.warnings.empty());
  EXPECT_NE(recorder.warnings.front().find("thermal runaway of DP at V1 = 0.85: loop gain "),
            std::string::npos)
      << recorder.warnings.front();
  // Below the fold the margin shrinks as it nears.
  EXPECT_GT(*recorder.reports[0].margins[0], *recorder.reports[1].margins[0]);
}

TEST_F(DcRunawayTest, MarginMatchesTheSlopeOfSeparateRunsAtFixedTemperatures) {
  constexpr double kResistance = 300;
  WriteLines("c.cir", NearlyVoltageDriven(27, "1 8 1"));
  WriteLines("c.par", DiodeProblem(0.75, 1, 0.75, kResistance));
  Recorder recorder;
  state().listener = &recorder;
  RunDcAnalysis(state());
  ASSERT_EQ(recorder.reports.size(), 1u) << ReadFile("wyniki.txt") << ReadFile("c.tem");
  ASSERT_TRUE(recorder.reports[0].margins[0]);
  EXPECT_FALSE(recorder.reports[0].runaway);
  const double settled = Numbers("c.tem", 0).at(0).at(1);
  const double slope = (PowerAt(0.75, settled + 1) - PowerAt(0.75, settled - 1)) / 2;
  const double margin = 1 - kResistance * slope;
  EXPECT_GT(margin, 0.2);  // a real loop gain, not a cold device
  EXPECT_NEAR(*recorder.reports[0].margins[0], margin, 0.03);
}

TEST_F(DcRunawayTest, UnsettledPointSaysWhetherItRunsAwayOrOscillates) {
  // Power growing by a quarter with every run: the relaxed loop gain tends to 1.5 and the point
  // never settles.
  UseStandIn(
      "n=$(cat count 2>/dev/null || echo 0); n=$((n+1)); echo $n > count\n"
      "out=\"${1%.cir}.csd\"\n"
      "{ printf '#H\\r\\n\\r\\nTITLE\\r\\n'; for k in 4 5 6 7 8 9 10 11 12; do printf 'x\\r\\n'; "
      "done\n"
      "  printf \"'V(2)' 'I(D1)'\\r\\n\"\n"
      "  i=$(awk \"BEGIN { printf \\\"%.8e\\\", 1.25^$n }\")\n"
      "  printf \"#C 0 2\\r\\n1.00000000e+000:1   $i:2   \\r\\n\"\n"
      "  printf '#;\\r\\n'; } > \"$out\"");
  WriteLines("c.cir", NearlyVoltageDriven(27, "1 8 1"));
  WriteLines("c.par", DiodeProblem(0, 1, 2, 25));
  const std::string text = FailureOf([&] { RunDcAnalysis(state()); });
  EXPECT_EQ(text.rfind("thermal runaway of DP at V1 = 0: loop gain 1.5", 0), 0u) << text;
}

}  // namespace
}  // namespace etherm
