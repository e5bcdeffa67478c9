#include "thermal/window_end.h"

#include <cfloat>
#include <cmath>

#include "thermal/thermal_test_support.h"

namespace etherm {
namespace {

// The compiler may fold exp of a constant to the correctly rounded value while the library's
// expl, at run time, may be an ulp off (and a product of it another); the continuations hold to
// within those ulps.
void ExpectWithinUlps(long double x, long double expected) {
  EXPECT_LE(std::fabs(x - expected), 4 * LDBL_EPSILON * std::fabs(expected))
      << static_cast<double>(x) << " against " << static_cast<double>(expected);
}

TEST(ClampedExpTest, BothContinuations) {
  const long double high = std::exp(3000.0L);
  const long double low = std::exp(-3000.0L);
  ExpectWithinUlps(ClampedExp(3000), high);
  ExpectWithinUlps(ClampedExp(3001), 2 * high);
  ExpectWithinUlps(ClampedExp(-3000), 6001 * low);
  ExpectWithinUlps(ClampedExp(-3001), 6002.5L * low);
  ExpectWithinUlps(ClampedExp(-1), std::exp(-1.0L));
}

// A device's own thermal impedance and its power at the new window start.
struct Own {
  double r;
  double power;
  std::vector<double> weights;
  std::vector<double> timeConstants;
};

class WindowEndTest : public ThermalTest {
 protected:
  void Devices(const std::vector<Own>& devices) {
    problem_ = Problem{};
    problem_.network = Network(static_cast<int>(devices.size()));
    power_ = {};
    for (std::size_t d = 0; d < devices.size(); ++d) {
      const Own& own = devices[d];
      Device& device = problem_.devices.emplace_back();
      device.name = NameField::From("D" + std::to_string(d + 1));
      ThermalPair& pair = problem_.network.pair[d][d];
      pair.resistance = own.r;
      for (std::size_t k = 0; k < own.weights.size(); ++k) {
        pair.terms.push_back({own.weights[k], own.timeConstants[k]});
      }
      power_[d + 1] = own.power;
    }
  }
  // History lines: the time, then each device's own term rises.
  static void History(const std::vector<std::vector<double>>& lines) {
    std::string text;
    for (const auto& l : lines) {
      for (double v : l) text += FormatExponent(v, 23) + " ";
      text += "\r\n";
    }
    WriteFile("h.spl", text);
  }
  // The window end from the rises the history file "h.spl" holds at t1 and t0.
  double WindowEnd(double t1, double t0, double end) {
    const HistoryRises rises = ReadHistoryRises(problem_, "h.spl", t1, t0);
    lastTime_ = rises.lastTime;
    return ComputeWindowEnd(problem_, t1, rises.theta1, t0, rises.theta0, power_, end);
  }
  Problem problem_;
  DeviceTable<long double> power_{};
  double lastTime_ = 0;
};

// Falling rise from theta1 to theta0 towards s: the time it reaches theta0 - 1 K.
double FallTime(double t0, double tau, double theta1, double theta0, double s) {
  return static_cast<double>(t0 - tau * std::log((theta0 - 1.0L - s) / (theta1 - s)));
}

// theta0 of a falling term predicting t0 + shift: w = exp(-shift / tau).
double FallingTheta0(double theta1, double s, double shift, double tau) {
  return s + 1 + std::exp(-shift / tau) * (theta1 - s);
}

TEST_F(WindowEndTest, OneTermPredictions) {
  const double risen = 50 * (1 - std::exp(-1.0));
  struct Case {
    const char* what;
    Own device;
    std::vector<std::vector<double>> history;
    double t1, t0, end;
    double expected;
  } cases[] = {
      {"rising: 1.0559 ms",
       {100, 0.5, {1}, {1e-3}},
       {{0, 0}, {1e-3, risen}},
       0,
       1e-3,
       10e-3,
       -1e-3 * std::log(1 - (risen + 1) / 50)},
      // The step response S (1 - exp(-(t - s) / tau)) from s = 0.5 ms, seen at 1 and 2 ms.
      {"rising: a step that started at 0.5 ms",
       {100, 0.5, {1}, {1e-3}},
       {{1e-3, 50 * (1 - std::exp(-0.5))}, {2e-3, 50 * (1 - std::exp(-1.5))}},
       1e-3,
       2e-3,
       10e-3,
       0.5e-3 - 1e-3 * std::log(1 - (50 * (1 - std::exp(-1.5)) + 1) / 50)},
      // The same step 10 K lower: the offset u = -10 K is taken as 0, which predicts 1.41 ms.
      {"rising: a negative offset counts as none",
       {100, 0.5, {1}, {1e-3}},
       {{1e-3, 50 * (1 - std::exp(-0.5)) - 10}, {2e-3, 50 * (1 - std::exp(-1.5)) - 10}},
       1e-3,
       2e-3,
       10e-3,
       static_cast<double>(1.1L * 2e-3)},
      // A step from -0.5 ms is taken from 0 with the offset that fits t1; it predicts 1.58 ms.
      {"rising: a step that started before time 0 starts at 0",
       {100, 0.5, {1}, {1e-3}},
       {{1e-3, 50 * (1 - std::exp(-1.5))}, {2e-3, 50 * (1 - std::exp(-2.5))}},
       1e-3,
       2e-3,
       10e-3,
       static_cast<double>(1.1L * 2e-3)},
      // t1 / tau = 1E4: below -3000 the clamped exponential grows as its argument falls, v < 0
      // and the step is placed at 10 t_end, far beyond the window.
      {"rising: v out of range puts the step at 10 t_end",
       {100, 0.5, {1}, {1e-6}},
       {{1e-2, 10}, {2e-2, 20}},
       1e-2,
       2e-2,
       0.1,
       0.1},
      {"falling from 40 K to 30 K towards 10 K",
       {80, 0.5, {0.25}, {1e-3}},
       {{0, 0}, {1e-3, 40}, {2e-3, 30}},
       1e-3,
       2e-3,
       10e-3,
       FallTime(2e-3, 1e-3, 40, 30, 10)},
      {"falling with w < 0: no limit",
       {80, 0.5, {0.25}, {1e-3}},
       {{1e-3, 40}, {2e-3, 10.5}},
       1e-3,
       2e-3,
       10e-3,
       10e-3},
      {"rising that cannot gain 1 K more: no limit",
       {20, 0.5, {1}, {1e-3}},
       {{0, 0}, {3e-3, 9.5}},
       0,
       3e-3,
       10e-3,
       10e-3},
      {"a prediction of exactly t0 changes nothing",
       {80, 0.5, {0.25}, {1e-30}},
       {{1e-3, 40}, {2e-3, 30}},
       1e-3,
       2e-3,
       10e-3,
       10e-3},
      {"a prediction before t0 gives 1.1 t0, even past the end",
       {40, 0.5, {0.5}, {1e-3}},
       {{1e-3, 5}, {2e-3, FallingTheta0(5, 10, -0.2e-3, 1e-3)}},
       1e-3,
       2e-3,
       2.05e-3,
       static_cast<double>(1.1L * 2e-3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Devices({c.device});
    History(c.history);
    EXPECT_NEAR(WindowEnd(c.t1, c.t0, c.end), c.expected, 1e-15);
    EXPECT_EQ(lastTime_, c.t0);
  }
}

// Two terms predicting 1.05 t0 and 0.9 t0: the later one in the order overrides with 1.1 t0;
// in the other order the second lowers 1.1 t0 to 1.05 t0.
TEST_F(WindowEndTest, TermOrderDecidesTheBeforeStartOverride) {
  const double t0 = 2e-3;
  const double late = FallingTheta0(40, 10, 0.05 * t0, 1e-3);  // predicts 1.05 t0
  const double early = FallingTheta0(5, 10, -0.1 * t0, 1e-3);  // predicts 0.9 t0
  Devices({{40, 0.5, {0.5, 0.5}, {1e-3, 1e-3}}});
  History({{1e-3, 40, 5}, {t0, late, early}});
  EXPECT_EQ(WindowEnd(1e-3, t0, 10e-3), static_cast<double>(1.1L * t0));
  History({{1e-3, 5, 40}, {t0, early, late}});
  EXPECT_NEAR(WindowEnd(1e-3, t0, 10e-3), 1.05 * t0, 1e-15);
}

// Device 1 has two own terms and device 2 three; the history fixture holds the rises at the
// start, a repeated window at t1 (the last line of a time wins) and a garbled line after t0
// that must not be read. Every term falls; term 2 of device 2 predicts the earliest time.
TEST_F(WindowEndTest, SeveralOwnTermsPerDeviceFromTheHistoryFile) {
  Devices({{40, 0.5, {0.5, 0.5}, {1e-3, 10e-3}}, {100, 0.2, {0.2, 0.3, 0.5}, {2e-3, 5e-3, 20e-3}}});
  // Coupling terms between the devices take no part.
  problem_.network.pair[0][1] = {1000, {{0.5, 1e-3}, {0.5, 1e-3}}};
  std::filesystem::copy_file(std::string(THERMAL_TESTDATA_DIR) + "/two_devices.spl", "h.spl");
  const double end = WindowEnd(1e-3, 2e-3, 0.1);
  EXPECT_NEAR(end, FallTime(2e-3, 5e-3, 20, 19.9, 6), 1e-15);
  EXPECT_GT(FallTime(2e-3, 1e-3, 30, 20, 10), end);
  EXPECT_GT(FallTime(2e-3, 20e-3, 50, 49.95, 10), end);
  EXPECT_EQ(lastTime_, 2e-3);
}

// A term whose prediction would divide by zero or take the logarithm of zero sets no limit;
// device 2's falling term (from 9 K to 8 K towards 4 K) then decides the window end.
TEST_F(WindowEndTest, TermsThatCannotMoveSetNoLimit) {
  struct Case {
    const char* what;
    double power1;
    double theta1, theta0;
  } cases[] = {
      {"constant power from time 0: the rise sits at its steady value", 0.5, 50, 50},
      {"a device without power and without rise", 0, 0, 0},
      {"a device without power whose rise still grows", 0, 1, 3},
      {"a fall to exactly 1 K above the steady value", 0.5, 60, 51},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Devices({{100, c.power1, {1}, {1e-3}}, {100, 0.2, {0.2}, {2e-3}}});
    History({{0, 0, 0}, {1e-3, c.theta1, 9}, {2e-3, c.theta0, 8}});
    EXPECT_NEAR(WindowEnd(1e-3, 2e-3, 0.1), FallTime(2e-3, 2e-3, 9, 8, 4), 1e-15);
  }
}

TEST_F(WindowEndTest, HistoryWithoutTheNeededValues) {
  Devices({{40, 0.5, {0.5, 0.5}, {1e-3, 1e-3}}});
  struct Case {
    const char* what;
    std::string history;
    const char* text;
  } cases[] = {
      {"no line for t1", Line({0, 0, 0}) + Line({2e-3, 1, 2}),
       "The term-rise history \"h.spl\" has no line for the time 1.00000000000000E-0003 s"},
      {"no line for t0", Line({0, 0, 0}) + Line({1e-3, 1, 2}) + Line({3e-3, 1, 2}),
       "The term-rise history \"h.spl\" has no line for the time 2.00000000000000E-0003 s"},
      {"an empty history", "",
       "The term-rise history \"h.spl\" has no line for the time 1.00000000000000E-0003 s"},
      {"a line short of a value", Line({1e-3, 1, 2}) + Line({2e-3, 1}) + Line({3e-3, 1, 2}),
       "The term-rise history \"h.spl\": the line for the time 2.00000000000000E-0003 s ends "
       "before term 2 of device 1 (D1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile("h.spl", c.history);
    EXPECT_EQ(FailureOf([&] { WindowEnd(1e-3, 2e-3, 0.1); }), c.text);
  }
}

// The rises are read as extended values, as the text says them, not rounded to doubles: here
// the fall left to the tolerance is 1E-13 K, which a double holds only to about 1 %.
TEST_F(WindowEndTest, RisesAreReadWithTheFullExtendedSignificand) {
  Devices({{80, 0.5, {0.25}, {1e-3}}});  // steady value 10 K
  WriteFile("h.spl", "1E-3 40.1\r\n2E-3 11.0000000000001\r\n");
  const auto predicted = [](long double theta1, long double theta0) {
    const long double w = (theta0 - 1.0L - 10) / (theta1 - 10);
    return static_cast<double>(static_cast<long double>(2e-3) -
                               static_cast<long double>(1e-3) * std::log(w));
  };
  const double expected = predicted(40.1L, 11.0000000000001L);
  ASSERT_NE(expected, predicted(40.1, 11.0000000000001));
  EXPECT_EQ(WindowEnd(1e-3, 2e-3, 1), expected);
}

}  // namespace
}  // namespace etherm
