#include <span>

#include "analysis/analysis_test_support.h"

namespace etherm {
namespace {

class PointRecorder : public AnalysisListener {
 public:
  void Accepted(std::span<const AcceptedPoint> rows) override {
    points.insert(points.end(), rows.begin(), rows.end());
    ++calls;
  }
  std::vector<AcceptedPoint> points;
  int calls = 0;
};

// The run goes over several windows, so the rows come in several calls, the first after the
// files' two header lines.
TEST_F(AnalysisTest, TransientRunReportsTheRowsItAppendsWithTheValuesOfTheFiles) {
  WriteLines("c.cir",
             "diode under a current step\nI1 0 1 PWL(0 0.1 0.5m 0.1 0.52m 2 10 2)\nD1 1 0 DP\n"
             ".MODEL DP D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042)\n.TRAN 10u 1m\n"
             ".PROBE/CSDF V(1) I(D1)\n.END\n");
  WriteLines("c.par", "TRAN diode\n1\n0.001\nDP 2 1 25 1 0.0003 0\n0\n0\n0\n1\n");
  PointRecorder recorder;
  state().listener = &recorder;
  RunTransientAnalysis(state());
  state().listener = nullptr;

  const auto results = Numbers("c.wyn", 2);
  const auto powers = Numbers("c.moc", 2);
  const auto temperatures = Numbers("c.tem", 2);
  EXPECT_GT(recorder.calls, 1);
  ASSERT_EQ(recorder.points.size(), results.size());
  ASSERT_EQ(powers.size(), results.size());
  ASSERT_EQ(temperatures.size(), results.size());
  for (std::size_t n = 0; n < results.size(); ++n) {
    SCOPED_TRACE(n);
    const AcceptedPoint& p = recorder.points[n];
    EXPECT_EQ(p.x, results[n][0]);
    EXPECT_EQ(p.x, powers[n][0]);
    EXPECT_EQ(p.probes, std::vector<double>(results[n].begin() + 1, results[n].end()));
    EXPECT_EQ(p.powers, std::vector<double>(powers[n].begin() + 1, powers[n].end()));
    EXPECT_EQ(p.temperatures,
              std::vector<double>(temperatures[n].begin() + 1, temperatures[n].end()));
    ASSERT_EQ(p.probes.size(), 2u);
    ASSERT_EQ(p.powers.size(), 1u);
  }
  EXPECT_EQ(recorder.points.front().x, 0);
  EXPECT_EQ(recorder.points.back().x, results.back()[0]);
}

}  // namespace
}  // namespace etherm
