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
  // The temperatures of power rows {time, P1, P2, ...} from a zero line; the term rises go to
  // "temp.txt".
  TemperatureTable Run(const std::vector<std::vector<double>>& powers) {
    PowerTable table{"Title line", "  TIME      P(1)", {}};
    for (const auto& p : powers) {
      TransientRow& row = table.rows.emplace_back();
      row.time = p[0];
      for (std::size_t j = 1; j < p.size(); ++j) row.value[j] = p[j];
    }
    TextFile rises;
    rises.OpenForWriting("temp.txt");
    TemperatureTable temperatures = ComputeTransientTemperatures(network_, table, {}, &rises);
    rises.Close();
    return temperatures;
  }
  ThermalNetwork network_;
};

TEST_F(TransientTemperaturesTest, OneTermExamples) {
  const double stepRise = 50 * (1 - std::exp(-0.5));
  struct Case {
    const char* what;
    std::vector<std::vector<double>> powers;
    std::vector<double> rises;  // the term's rise on each line
  } cases[] = {
      {"zero powers at time 0", {{0, 0}}, {0}},
      {"the steady state of time 0 persists", {{0, 0.5}, {1e-3, 0.5}}, {50, 50}},
      // The power counts as 0 during the first half of the step.
      {"step response", {{0, 0}, {1e-3, 0.5}}, {0, stepRise}},
      {"a repeated time changes nothing",
       {{0, 0}, {1e-3, 0.5}, {1e-3, 7}},
       {0, stepRise, stepRise}},
      {"a line at time 0 after others starts afresh", {{0, 0.5}, {1e-3, 0.5}, {0, 0}}, {50, 50, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OneTerm();
    const TemperatureTable table = Run(c.powers);
    const auto rises = Numbers("temp.txt", 0);
    ASSERT_EQ(table.rows.size(), c.rises.size());
    ASSERT_EQ(rises.size(), c.rises.size());
    for (std::size_t n = 0; n < c.rises.size(); ++n) {
      EXPECT_EQ(table.rows[n].time, c.powers[n][0]);
      EXPECT_NEAR(table.rows[n].value[1], 295 + c.rises[n], 1e-12);
      EXPECT_NEAR(rises[n][1], c.rises[n], 1e-12);
      // Time 0 lists all four slots of the pair, later lines the one term in use.
      EXPECT_EQ(rises[n].size(), c.powers[n][0] == 0 ? 5u : 2u);
    }
    EXPECT_EQ(table.title, "Title line");
    EXPECT_EQ(table.names, "  TIME      P(1)");
  }
}

TEST_F(TransientTemperaturesTest, TermRiseLayoutOfEveryPair) {
  network_ = Network(2);
  network_.pair[0][0] = {10, {{0.25, 1e-3}, {0.75, 4e-3}}};
  network_.pair[0][1] = {4, {{1, 2e-3}}};
  network_.pair[1][0] = {7, {}};  // no terms: heats nothing
  network_.pair[1][1] = {30, {{1, 3e-3}}};
  const TemperatureTable table = Run({{0, 1, 2}, {1e-3, 1, 2}});

  const std::vector<double> atZero = {0, 2.5, 7.5, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 60, 0, 0, 0};
  const std::vector<double> later = {1e-3, 2.5, 7.5, 8, 60};  // theta_111 112 121 221
  const auto rises = Numbers("temp.txt", 0);
  ASSERT_EQ(rises.size(), 2u);
  EXPECT_EQ(rises[0], atZero);
  ASSERT_EQ(rises[1].size(), later.size());
  for (std::size_t v = 0; v < later.size(); ++v) EXPECT_NEAR(rises[1][v], later[v], 1e-12);
  EXPECT_EQ(table.rows[0].value[1], 313);
  EXPECT_EQ(table.rows[0].value[2], 355);
  EXPECT_NEAR(table.rows[1].value[1], 313, 1e-12);
  EXPECT_NEAR(table.rows[1].value[2], 355, 1e-12);
}

// Power 0 at time 0 and 2 W at every later line: the split puts the step of the power at half
// the first step, after which each term follows the exact step response whatever the steps.
TEST_F(TransientTemperaturesTest, UnevenStepsFollowTheStepResponse) {
  network_ = Network(1);
  network_.pair[0][0] = {100, {{0.3, 1e-3}, {0.7, 5e-3}}};
  const TemperatureTable table = Run({{0, 0}, {0.4e-3, 2}, {1e-3, 2}, {2.5e-3, 2}, {7e-3, 2}});
  ASSERT_EQ(table.rows.size(), 5u);
  for (const TransientRow& row : table.rows) {
    const double t = row.time;
    const double since = t - 0.2e-3;
    const double expected =
        t == 0 ? 295
               : 295 + 60 * (1 - std::exp(-since / 1e-3)) + 140 * (1 - std::exp(-since / 5e-3));
    EXPECT_NEAR(row.value[1], expected, 1e-9) << "t = " << t;
    // The temperatures are held as their 23-character text says them.
    EXPECT_EQ(row.value[1], std::stod(FormatExponent(row.value[1], 23)));
  }
}

// A window that continues from the line its start was reached at computes what one pass from
// time 0 over the same lines does, number for number.
TEST_F(TransientTemperaturesTest, ContinuingFromALineEqualsOnePassFromTimeZero) {
  network_ = Network(2);
  network_.pair[0][0] = {10, {{0.25, 1e-4}, {0.75, 4e-3}}};
  network_.pair[0][1] = {4, {{1, 2e-3}}};
  network_.pair[1][1] = {30, {{0.5, 3e-4}, {0.5, 3e-3}}};
  std::vector<TransientRow> rows;
  for (int n = 0; n < 40; ++n) {
    rows.push_back({n * 7.3e-5, {0, 1 + std::sin(n * 0.7), 2 + std::cos(n * 1.3)}});
  }
  rows.insert(rows.begin() + 20, rows[19]);  // a repeated line, as at a window start
  const PowerTable whole{"t", "n", rows};
  const TemperatureTable once = ComputeTransientTemperatures(network_, whole, {}, nullptr);

  ThermalLine start;
  for (std::size_t n = 0; n < 20; ++n) AdvanceThermalLine(network_, start, rows[n]);
  const PowerTable rest{"t", "n", {rows.begin() + 20, rows.end()}};
  const TemperatureTable continued = ComputeTransientTemperatures(network_, rest, start, nullptr);
  ASSERT_EQ(continued.rows.size(), rows.size() - 20);
  for (std::size_t n = 0; n < continued.rows.size(); ++n) {
    EXPECT_EQ(continued.rows[n].value[1], once.rows[n + 20].value[1]) << n;
    EXPECT_EQ(continued.rows[n].value[2], once.rows[n + 20].value[2]) << n;
  }
}

// The slots above a pair's terms must not heat the device at time 0, or its temperature
// would drop at the next line, where only the terms in use carry on.
TEST_F(TransientTemperaturesTest, SlotsAboveTheTermCountWeighNothing) {
  OneTerm();
  const TemperatureTable table = Run({{0, 0.5}, {1e-3, 0.5}});
  EXPECT_EQ(table.rows[0].value[1], 345);
  EXPECT_NEAR(table.rows[1].value[1], 345, 1e-12);
  EXPECT_EQ(Numbers("temp.txt", 0)[0], (std::vector<double>{0, 50, 0, 0, 0}));
}

TEST_F(TransientTemperaturesTest, ArithmeticFailuresKeepTheLinesWrittenBefore) {
  struct Case {
    const char* what;
    double timeConstant;
    std::vector<std::vector<double>> powers;
    const char* text;
    std::size_t linesKept;
  } cases[] = {
      {"zero time constant", 0, {{0, 0.5}, {1e-3, 0.5}}, "Floating point division by zero", 1},
      // exp overflows to infinity, and infinity times the zero rise is then invalid: the
      // overflow came first.
      {"time running backwards", 1e-3, {{0, 0}, {1, 0}, {0.1, 0}}, "Floating point overflow", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OneTerm();
    network_.pair[0][0].terms[0].timeConstant = c.timeConstant;
    EXPECT_EQ(FailureOf([&] { Run(c.powers); }), c.text);
    EXPECT_EQ(Numbers("temp.txt", 0).size(), c.linesKept);
  }
}

}  // namespace
}  // namespace etherm
