#include "thermal/transient_temperatures.h"

#include <cmath>

#include "thermal/thermal_test_support.h"

namespace etherm {
namespace {

class TransientTemperaturesTest : public ThermalTest {
 protected:
  // One device with one own term: 100 K/W, weight 1, 1 ms.
  void OneTerm() {
    network_ = Network(1);
    network_.pair[0][0] = {100, {{1, 1e-3}}};
  }
  TransientTemperatureLine Run(const std::string& powerLines) {
    WriteFile("p.moc", Header() + powerLines);
    return ComputeTransientTemperatures(network_, "p.moc", "p.tem");
  }
  ThermalNetwork network_;
};

TEST_F(TransientTemperaturesTest, OneTermExamples) {
  const double stepRise = 50 * (1 - std::exp(-0.5));
  struct Case {
    const char* what;
    std::string powers;
    std::vector<double> rises;  // the term's rise on each line
  } cases[] = {
      {"zero powers at time 0", Line({0, 0}), {0}},
      {"the steady state of time 0 persists", Line({0, 0.5}) + Line({1e-3, 0.5}), {50, 50}},
      // The power counts as 0 during the first half of the step.
      {"step response", Line({0, 0}) + Line({1e-3, 0.5}), {0, stepRise}},
      {"a repeated time changes nothing",
       Line({0, 0}) + Line({1e-3, 0.5}) + Line({1e-3, 7}),
       {0, stepRise, stepRise}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OneTerm();
    Run(c.powers);
    const auto temperatures = Numbers("p.tem", 2);
    const auto rises = Numbers("temp.txt", 0);
    ASSERT_EQ(temperatures.size(), c.rises.size());
    ASSERT_EQ(rises.size(), c.rises.size());
    for (std::size_t n = 0; n < c.rises.size(); ++n) {
      EXPECT_NEAR(temperatures[n][1], 295 + c.rises[n], 1e-12);
      EXPECT_NEAR(rises[n][1], c.rises[n], 1e-12);
      // Time 0 lists all four slots of the pair, later lines the one term in use.
      EXPECT_EQ(rises[n].size(), temperatures[n][0] == 0 ? 5u : 2u);
    }
  }
  EXPECT_EQ(ReadFile("p.tem").substr(0, Header().size()), Header());
}

TEST_F(TransientTemperaturesTest, TermRiseLayoutOfEveryPair) {
  network_ = Network(2);
  network_.pair[0][0] = {10, {{0.25, 1e-3}, {0.75, 4e-3}}};
  network_.pair[0][1] = {4, {{1, 2e-3}}};
  network_.pair[1][0] = {7, {}};  // no terms: heats nothing
  network_.pair[1][1] = {30, {{1, 3e-3}}};
  Run(Line({0, 1, 2}) + Line({1e-3, 1, 2}));

  const std::vector<double> atZero = {0, 2.5, 7.5, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 60, 0, 0, 0};
  const std::vector<double> later = {1e-3, 2.5, 7.5, 8, 60};  // theta_111 112 121 221
  const auto rises = Numbers("temp.txt", 0);
  ASSERT_EQ(rises.size(), 2u);
  EXPECT_EQ(rises[0], atZero);
  ASSERT_EQ(rises[1].size(), later.size());
  for (std::size_t v = 0; v < later.size(); ++v) EXPECT_NEAR(rises[1][v], later[v], 1e-12);
  const auto temperatures = Numbers("p.tem", 2);
  EXPECT_EQ(temperatures[0], (std::vector<double>{0, 313, 355}));
  EXPECT_NEAR(temperatures[1][1], 313, 1e-12);
  EXPECT_NEAR(temperatures[1][2], 355, 1e-12);
}

// Power 0 at time 0 and 2 W at every later line: the split puts the step of the power at half
// the first step, after which each term follows the exact step response whatever the steps.
TEST_F(TransientTemperaturesTest, UnevenStepsFollowTheStepResponse) {
  network_ = Network(1);
  network_.pair[0][0] = {100, {{0.3, 1e-3}, {0.7, 5e-3}}};
  const TransientTemperatureLine last =
      Run(Line({0, 0}) + Line({0.4e-3, 2}) + Line({1e-3, 2}) + Line({2.5e-3, 2}) + Line({7e-3, 2}));
  const auto temperatures = Numbers("p.tem", 2);
  ASSERT_EQ(temperatures.size(), 5u);
  for (const auto& line : temperatures) {
    const double t = line[0];
    const double since = t - 0.2e-3;
    const double expected =
        t == 0 ? 295
               : 295 + 60 * (1 - std::exp(-since / 1e-3)) + 140 * (1 - std::exp(-since / 5e-3));
    EXPECT_NEAR(line[1], expected, 1e-9) << "t = " << t;
  }
  EXPECT_EQ(last.time, 7e-3);
  EXPECT_EQ(last.step, 7e-3 - 2.5e-3);
  EXPECT_NEAR(last.temperatures[1], temperatures.back()[1], 1e-9);
}

TEST_F(TransientTemperaturesTest, EmptyLastLineIsASteadyStateWithoutPower) {
  OneTerm();
  const TransientTemperatureLine last = Run(Line({0, 0.5}) + Line({1e-3, 0.5}) + "\r\n");
  const auto temperatures = Numbers("p.tem", 2);
  ASSERT_EQ(temperatures.size(), 3u);
  EXPECT_EQ(temperatures[2], (std::vector<double>{0, 295}));
  EXPECT_EQ(Numbers("temp.txt", 0).back(), (std::vector<double>{0, 0, 0, 0, 0}));
  EXPECT_EQ(last.temperatures[1], 295);
}

// The slots above a pair's terms must not heat the device at time 0, or its temperature
// would drop at the next line, where only the terms in use carry on.
TEST_F(TransientTemperaturesTest, SlotsAboveTheTermCountWeighNothing) {
  OneTerm();
  Run(Line({0, 0.5}) + Line({1e-3, 0.5}));
  const auto temperatures = Numbers("p.tem", 2);
  EXPECT_EQ(temperatures[0][1], 345);
  EXPECT_NEAR(temperatures[1][1], 345, 1e-12);
  EXPECT_EQ(Numbers("temp.txt", 0)[0], (std::vector<double>{0, 50, 0, 0, 0}));
}

TEST_F(TransientTemperaturesTest, ArithmeticFailuresKeepTheLinesWrittenBefore) {
  struct Case {
    const char* what;
    double timeConstant;
    std::string powers;
    const char* text;
    std::size_t linesKept;
  } cases[] = {
      {"zero time constant", 0, Line({0, 0.5}) + Line({1e-3, 0.5}),
       "Floating point division by zero", 1},
      // exp overflows to infinity, and infinity times the zero rise is then invalid: the
      // overflow came first.
      {"time running backwards", 1e-3, Line({0, 0}) + Line({1, 0}) + Line({0.1, 0}),
       "Floating point overflow", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OneTerm();
    network_.pair[0][0].terms[0].timeConstant = c.timeConstant;
    WriteFile("p.moc", Header() + c.powers);
    EXPECT_EQ(FailureOf([&] { ComputeTransientTemperatures(network_, "p.moc", "p.tem"); }), c.text);
    const auto written = Numbers("p.tem", 2);
    const auto rises = Numbers("temp.txt", 0);
    EXPECT_EQ(written.size(), c.linesKept);
    EXPECT_EQ(rises.size(), written.size());
  }
}

}  // namespace
}  // namespace etherm
