#include "power/model_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "power/device_models.h"

namespace etherm {
namespace {

// One diode of kind 1 with parameters near a power diode's, no knee and no recombination.
Problem DiodeProblem() {
  Problem problem;
  Device& d = problem.devices.emplace_back();
  d.name = NameField::From("DP");
  d.kind = DeviceKind::kDiode;
  AssignModelParameters(d, {2.5e-9, 1.75, 0.042, 0, 3, 0, 0, 2, 0.33, 0.7, 0.004});
  return problem;
}

// One power MOSFET of kind 3: KP 20, VTO 3, LAMBDA 0.002, RD 0.02, no gate or source resistance,
// RB 0.01, a body diode of IS 1e-11 and N 1, breakdown at 100 V.
Problem TransistorBProblem() {
  Problem problem;
  Device& d = problem.devices.emplace_back();
  d.name = NameField::From("MP");
  d.kind = DeviceKind::kTransistorB;
  AssignModelParameters(d,
                        {20, 1, 1, 3, 0.002, 0.02, 0, 0, 0.01, 1e-11, 1, 3, 1.11, 100, 1e-10, 0});
  return problem;
}

// A point at time x where the model's current is `current` (A) at the reference temperature and
// the simulator's is `scale` times that. Each writes the probes the way its kind records them.
using PointMaker = AcceptedPoint (*)(double x, double current, double scale);

AcceptedPoint DiodePoint(double x, double current, double scale) {
  const double vd = 1.75 * kBoltzmannOverCharge * 295 * std::log(current / 2.5e-9 + 1);
  AcceptedPoint point;
  point.x = x;
  point.temperatures = {295};
  point.probes = {vd + 0.042 * current * scale, current * scale};
  return point;
}

// Kind 3 switched on (10 V at the gate, the body diode reverse biased): q4 is the channel's
// current with the opposite sign. The internal drain voltage u2 = q3 + RD q4 is solved for the
// model's channel current in the linear region, beta/2 (1 + LAMBDA u2) u2 (14 - u2) = current.
AcceptedPoint ChannelPoint(double x, double current, double scale) {
  double low = 0, high = 7;
  for (int n = 0; n < 100; ++n) {
    const double u2 = (low + high) / 2;
    (10 * (1 + 0.002 * u2) * u2 * (14 - u2) < current ? low : high) = u2;
  }
  const double q4 = -current * scale;
  AcceptedPoint point;
  point.x = x;
  point.temperatures = {295};
  point.probes = {10, 0, low - 0.02 * q4, q4, 0, 0};
  return point;
}

// Kind 3 switched off, its body diode conducting (freewheeling): the current into the drain is
// -q6, the diode's, whose voltage u3 = -q3 - RB q6 gives the model's diode current.
AcceptedPoint BodyDiodePoint(double x, double current, double scale) {
  const double u3 = kBoltzmannOverCharge * 295 * std::log(current / 1e-11 + 1);
  const double q6 = current * scale;
  AcceptedPoint point;
  point.x = x;
  point.temperatures = {295};
  point.probes = {0, 0, -(u3 + 0.01 * q6), 0, 0, q6};
  return point;
}

std::vector<AcceptedPoint> Points(int count, double scale, double current = 3.0,
                                  PointMaker make = DiodePoint) {
  std::vector<AcceptedPoint> points;
  for (int n = 0; n < count; ++n) points.push_back(make(n * 1e-4, current, scale));
  return points;
}

TEST(PowerModelCheck, OneWarningPerDeviceWhenTheCurrentsDisagree) {
  const Problem diode = DiodeProblem();
  const Problem transistorB = TransistorBProblem();
  struct Case {
    const char* what;
    const Problem& problem;
    PointMaker make;
    int count;
    double scale;    // the simulator's current over the model's
    double current;  // A, the model's
    bool warned;
  } cases[] = {
      {"the model describes the device", diode, DiodePoint, 40, 1.0, 3.0, false},
      {"within 10 %", diode, DiodePoint, 40, 1.08, 3.0, false},
      {"half the model's current everywhere", diode, DiodePoint, 40, 0.5, 3.0, true},
      {"a few points off only", diode, DiodePoint, PowerModelCheck::kFewPoints, 0.5, 3.0, false},
      {"the currents below 1 uA are not compared", diode, DiodePoint, 40, 0.5, 1e-7, false},
      {"kind 3 on: the model describes the channel", transistorB, ChannelPoint, 40, 1.0, 5.0,
       false},
      {"kind 3 on: within 10 %", transistorB, ChannelPoint, 40, 0.93, 5.0, false},
      {"kind 3 on: half the model's channel current", transistorB, ChannelPoint, 40, 0.5, 5.0,
       true},
      {"kind 3 freewheeling: the model describes the body diode", transistorB, BodyDiodePoint, 40,
       1.0, 5.0, false},
      {"kind 3 freewheeling: half the model's diode current", transistorB, BodyDiodePoint, 40, 0.5,
       5.0, true},
  };
  for (const Case& c : cases) {
    PowerModelCheck check(c.problem);
    EXPECT_TRUE(check.Active());
    const std::vector<std::string> warnings =
        check.Check(Points(c.count, c.scale, c.current, c.make));
    EXPECT_EQ(warnings.size(), c.warned ? 1u : 0u) << c.what;
    if (c.warned) {
      const std::string start = c.make == DiodePoint
                                    ? "the power model of DP (kind 1) computes a junction current "
                                    : "the power model of MP (kind 3) computes a drain current ";
      EXPECT_NE(warnings[0].find(start + "more than 10 % off the simulator's at 6 of 6 accepted "
                                         "points"),
                std::string::npos)
          << c.what << ": " << warnings[0];
      EXPECT_NE(warnings[0].find("by up to 100 %"), std::string::npos) << warnings[0];
      EXPECT_NE(warnings[0].find("2 times"), std::string::npos) << warnings[0];
      EXPECT_NE(warnings[0].find("295 K"), std::string::npos) << warnings[0];
      EXPECT_NE(warnings[0].find("TNOM"), std::string::npos) << warnings[0];
      // Once per device and run.
      EXPECT_TRUE(check.Check(Points(c.count, c.scale, c.current, c.make)).empty()) << c.what;
    }
  }
}

TEST(PowerModelCheck, RareDisagreementsAtEdgesStaySilent) {
  // A charge current at a few edges among many agreeing points: fewer than one in twenty.
  const Problem problem = DiodeProblem();
  PowerModelCheck check(problem);
  std::vector<AcceptedPoint> points = Points(200, 1.0);
  for (int n = 0; n < 8; ++n) points[static_cast<std::size_t>(25 * n + 10)].probes[1] *= 2;
  EXPECT_TRUE(check.Check(points).empty());
}

TEST(PowerModelCheck, NothingToCompare) {
  Problem plain = DiodeProblem();
  plain.directPower = true;  // the powers are plain products: no model to trust
  EXPECT_FALSE(PowerModelCheck(plain).Active());
  EXPECT_TRUE(PowerModelCheck(plain).Check(Points(40, 0.5)).empty());

  Problem plainKind = DiodeProblem();
  plainKind.devices[0].kind = DeviceKind::kPlain;  // kind 0 has no model
  EXPECT_FALSE(PowerModelCheck(plainKind).Active());

  // A row with fewer values than the devices take is left alone.
  const Problem problem = DiodeProblem();
  PowerModelCheck check(problem);
  std::vector<AcceptedPoint> points = Points(40, 0.5);
  for (AcceptedPoint& p : points) p.probes.pop_back();
  EXPECT_TRUE(check.Check(points).empty());
}

}  // namespace
}  // namespace etherm
