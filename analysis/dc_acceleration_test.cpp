#include <cmath>

#include "analysis/analysis_test_support.h"

namespace etherm {
namespace {

struct Counter : AnalysisListener {
  int iterations = 0;
  std::vector<std::string> warnings;
  void IterationStarted(int) override { ++iterations; }
  void Warning(std::string_view text) override { warnings.emplace_back(text); }
};

class DcAccelerationTest : public AnalysisTest {
 protected:
  // The temperature table of a run, and its count of simulator runs.
  std::pair<std::vector<std::vector<double>>, int> Run(bool accelerate) {
    Counter counter;
    state().listener = &counter;
    RunDcAnalysis(state(), DcOptions{accelerate});
    state().listener = nullptr;
    return {Numbers(state().baseName + ".tem", 0), counter.iterations};
  }
};

TEST_F(DcAccelerationTest, AcceleratedPointsAgreeWithPlainOnesInFewerRuns) {
  for (const std::string name : {"bjt_pair_dc", "diode_dc"}) {
    for (const char* extension : {".cir", ".par"}) {
      std::filesystem::copy_file(
          std::string(ETHERM_EXAMPLES_DIR) + "/" + name + "/" + name + extension, name + extension);
    }
    state().baseName = name;
    const auto [plain, plainRuns] = Run(false);
    const auto [fast, fastRuns] = Run(true);
    ASSERT_EQ(plain.size(), fast.size()) << name;
    for (std::size_t n = 0; n < plain.size(); ++n) {
      ASSERT_EQ(plain[n].size(), fast[n].size());
      EXPECT_EQ(plain[n][0], fast[n][0]);
      // Both are within the settle tolerance of the same fixed point.
      for (std::size_t d = 1; d < plain[n].size(); ++d) {
        EXPECT_NEAR(plain[n][d], fast[n][d], 2 * TemperatureTolerance) << name << " " << n;
      }
    }
    EXPECT_LT(fastRuns, plainRuns) << name;
  }
}

TEST_F(DcAccelerationTest, SteeplyFallingPowerOscillatesPlainButSettlesAccelerated) {
  // The stand-in's device takes 10 W less 0.2 W per kelvin above 295 K; with 25 K/W the loop
  // gain is -5: the point is stable, yet the relaxed step overshoots it ever further.
  UseStandIn(
      "t=$(grep -io 't_abs=[^ )]*' \"$1\" | head -1 | cut -d= -f2)\n"
      "i=$(awk \"BEGIN { p = 10 - 0.2 * ($t + 273.15 - 295); if (p < 0) p = 0; "
      "printf \\\"%.8e\\\", p }\")\n"
      "out=\"${1%.cir}.csd\"\n"
      "{ printf '#H\\r\\n\\r\\nTITLE\\r\\n'; for k in 4 5 6 7 8 9 10 11 12; do printf 'x\\r\\n'; "
      "done\n"
      "  printf \"'V(2)' 'I(D1)'\\r\\n\"\n"
      "  printf \"#C 0 2\\r\\n1.00000000e+000:1   $i:2   \\r\\n\"\n"
      "  printf '#;\\r\\n'; } > \"$out\"");
  WriteLines("c.cir",
             "falling power\nV1 1 0 DC 1\nR1 1 2 1\nD1 2 0 DP\n"
             ".MODEL DP D(T_ABS=27 IS=2.5E-9)\n.DC V1 1 8 1\n.PROBE/CSDF V(2) I(D1)\n.END\n");
  WriteLines("c.par", "DC\n1\n0\n1\n0\nDP 2 25 0\n1\n");
  const std::string text = FailureOf([&] { RunDcAnalysis(state()); });
  EXPECT_NE(text.find("has not settled after 100 iterations"), std::string::npos) << text;
  EXPECT_NE(text.find("--accelerate"), std::string::npos) << text;
  EXPECT_EQ(text.find("runaway"), std::string::npos) << text;

  const auto [temperatures, runs] = Run(true);
  ASSERT_EQ(temperatures.size(), 1u);
  EXPECT_NEAR(temperatures[0][1], 295 + 250.0 / 6, TemperatureTolerance);
  EXPECT_LT(runs, 10);
}

}  // namespace
}  // namespace etherm
