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

// A point at time x where the model's junction current is `current` (A) at the reference
// temperature, and the simulator's is `scale` times that.
AcceptedPoint Point(double x, double current, double scale) {
  const double vd = 1.75 * kBoltzmannOverCharge * 295 * std::log(current / 2.5e-9 + 1);
  AcceptedPoint point;
  point.x = x;
  point.temperatures = {295};
  point.probes = {vd + 0.042 * current * scale, current * scale};
  return point;
}

std::vector<AcceptedPoint> Points(int count, double scale, double current = 3.0) {
  std::vector<AcceptedPoint> points;
  for (int n = 0; n < count; ++n) points.push_back(Point(n * 1e-4, current, scale));
  return points;
}

TEST(PowerModelCheck, OneWarningPerDeviceWhenTheCurrentsDisagree) {
  const Problem problem = DiodeProblem();
  struct Case {
    const char* what;
    int count;
    double scale;    // the simulator's current over the model's
    double current;  // A, the model's
    bool warned;
  } cases[] = {
      {"the model describes the device", 40, 1.0, 3.0, false},
      {"within 10 %", 40, 1.08, 3.0, false},
      {"half the model's current everywhere", 40, 0.5, 3.0, true},
      {"a few points off only", PowerModelCheck::kFewPoints, 0.5, 3.0, false},
      {"the currents below 1 uA are not compared", 40, 0.5, 1e-7, false},
  };
  for (const Case& c : cases) {
    PowerModelCheck check(problem);
    EXPECT_TRUE(check.Active());
    const std::vector<std::string> warnings = check.Check(Points(c.count, c.scale, c.current));
    EXPECT_EQ(warnings.size(), c.warned ? 1u : 0u) << c.what;
    if (c.warned) {
      EXPECT_NE(warnings[0].find("the power model of DP (kind 1) computes a junction current "
                                 "more than 10 % off the simulator's at 6 of 6 accepted points"),
                std::string::npos)
          << warnings[0];
      EXPECT_NE(warnings[0].find("by up to 100 %"), std::string::npos) << warnings[0];
      EXPECT_NE(warnings[0].find("295 K"), std::string::npos) << warnings[0];
      EXPECT_NE(warnings[0].find("TNOM"), std::string::npos) << warnings[0];
      // Once per device and run.
      EXPECT_TRUE(check.Check(Points(c.count, c.scale, c.current)).empty()) << c.what;
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

  Problem kind3 = DiodeProblem();
  kind3.devices[0].kind = DeviceKind::kTransistorB;
  EXPECT_FALSE(PowerModelCheck(kind3).Active());

  // A row with fewer values than the devices take is left alone.
  const Problem problem = DiodeProblem();
  PowerModelCheck check(problem);
  std::vector<AcceptedPoint> points = Points(40, 0.5);
  for (AcceptedPoint& p : points) p.probes.pop_back();
  EXPECT_TRUE(check.Check(points).empty());
}

}  // namespace
}  // namespace etherm
