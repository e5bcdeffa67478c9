#include <string_view>

#include "analysis/analysis_test_support.h"
#include "model/analysis_listener.h"

namespace etherm {
namespace {

TEST_F(AnalysisTest, DcWithMoreThanFourNodeQuantitiesRunsWithoutNodeSet) {
  // Five diodes: five node quantities, more than a .NODESET line could carry.
  std::string circuit = "five diodes\nV1 1 0 DC 1\n";
  std::string problem = "DC five diodes\n5\n1\n1\n3\n";
  std::string probe = ".PROBE/CSDF";
  for (int k = 1; k <= 5; ++k) {
    const std::string n = std::to_string(k + 1), model = "DP" + std::to_string(k);
    circuit += "R" + n + " 1 " + n + " 2\nD" + n + " " + n + " 0 " + model + "\n.MODEL " + model +
               " D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042)\n";
    problem += model + " 2 25 0\n1\n";
    probe += " V(" + n + ") I(D" + n + ")";
  }
  WriteLines("c.cir", circuit + ".DC V1 1 3 1\n" + probe + "\n.END\n");
  WriteLines("c.par", problem);
  RunDcAnalysis(state());
  const auto temperatures = Numbers("c.tem", 0);
  ASSERT_EQ(temperatures.size(), 2u);  // the points 1 and 2
  for (const auto& row : temperatures) {
    ASSERT_EQ(row.size(), 6u);
    EXPECT_GT(row[5], 296);  // every diode heated
  }
}

// Ends the run when the first window after time 0 has been written.
class StopAtLaterWindow : public AnalysisListener {
 public:
  explicit StopAtLaterWindow(const AnalysisState& state) : state_(state) {}
  void IterationStarted(int) override {
    if (state_.windowStartTime > 0) throw Failure("stopped");
  }

 private:
  const AnalysisState& state_;
};

TEST_F(AnalysisTest, FarEndTimeGivesWindowsOfBoundedLength) {
  // A diode without current predicts no temperature change, so the next window would reach
  // the end time of 1e30 s.
  WriteLines("c.cir",
             "idle diode\nI1 0 1 DC 0\nR1 1 0 1k\nD1 1 0 DP\n"
             ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042)\n"
             ".TRAN 2u 90u\n.PROBE/CSDF V(1) I(D1)\n.END\n");
  WriteLines("c.par", "TRAN diode\n1\n1e30\nDP 2 2 25 0.4 0.0003 0.6 0.0015 0\n0\n0\n0\n1\n");
  StopAtLaterWindow stop(state());
  state().listener = &stop;
  EXPECT_EQ(FailureOf([&] { RunTransientAnalysis(state()); }), "stopped");
  EXPECT_GT(state().windowEndTime, 1e29);
  const auto circuit = Lines("c" + state().iterationText + ".cir");
  EXPECT_NE(std::find(circuit.begin(), circuit.end(), ".TRAN   2u 0.2000000000"), circuit.end());
}

}  // namespace
}  // namespace etherm
