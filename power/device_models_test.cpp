#include "power/device_models.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace etherm {
namespace {

// x to six significant digits, as the worked examples give them.
std::string Sig6(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.5e", x);
  return buf;
}

// The parameters of a device of this kind, in the problem file's order.
Device Params(DeviceKind kind, std::initializer_list<double> values) {
  Device d;
  d.kind = kind;
  AssignModelParameters(d, values);
  return d;
}

Quantities Q(std::initializer_list<double> values) {
  Quantities q{};
  std::size_t n = 1;
  for (double v : values) q[n++] = v;
  return q;
}

const DiodeParameters kDiode =
    Params(DeviceKind::kDiode, {1e-14, 1, 0.1, 1, 3, 0, 1e-12, 2, 0.5, 0.7, 0.004}).diode;
const TransistorAParameters kModelA =
    Params(DeviceKind::kTransistorA, {0, 0, 0, 0.05, 2e-5, 1e-4, 2e-6, 2, 0.2, 10, 1e-14, 0, 0.01})
        .transistorA;
const TransistorBParameters kModelB =
    Params(DeviceKind::kTransistorB,
           {2e-5, 1e-4, 2e-6, 2, 0.01, 0.5, 1, 0.1, 0, 1e-14, 1, 3, 1.11, 100, 1e-10, 0})
        .transistorB;

// The three models with the parameters above, behind one signature for the table below.
double Diode(const Quantities& q, double t) {
  return JunctionDiodePower(kDiode, q, t);
}
double ModelA(const Quantities& q, double t) {
  return TransistorModelAPower(kModelA, q, t);
}
double ModelB(const Quantities& q, double t) {
  return TransistorModelBPower(kModelB, q, t);
}

TEST(DeviceModels, WorkedExamples) {
  struct Case {
    const char* what;
    double (*model)(const Quantities&, double);
    Quantities q;
    double t;
    const char* power;
  } cases[] = {
      {"diode at 295 K", Diode, Q({0.7, 0.05}), 295, "5.37977e-03"},
      {"diode at 350 K", Diode, Q({0.7, 0.05}), 350, "9.53358e-02"},
      {"model B in saturation", ModelB, Q({5, 0, 10, -0.1, 0, 0}), 295, "5.38513e-02"},
      {"model B at 1000 K", ModelB, Q({5, 0, 10, -0.1, 0, 0}), 1000, "9.02691e+01"},
      // Model A in each region: below the threshold (resistive terms and the diode only), in
      // the exponential band just above it, exactly at it (the last branch), linear, saturated.
      {"A below the threshold", ModelA, Q({1, 0, 10, 0.001}), 295, "2.50000e-07"},
      {"A in the exponential band", ModelA, Q({2.01, 0, 5, 0}), 295, "-7.84162e-07"},
      {"A exactly at the threshold", ModelA, Q({2, 0, 5, 0}), 295, "-1.70167e-06"},
      {"A linear", ModelA, Q({5, 0, 0.5, 0.01}), 295, "7.12117e-04"},
      {"A saturated", ModelA, Q({4, 0, 10, 0.005}), 295, "2.22286e-02"},
      {"A saturated at 350 K", ModelA, Q({4, 0, 10, 0.005}), 350, "1.72008e-02"},
  };
  for (const Case& c : cases) EXPECT_EQ(Sig6(c.model(c.q, c.t)), c.power) << c.what;
}

TEST(DeviceModels, DiodeAtTheReferenceTemperature) {
  // At T = Tr every temperature factor is 1: R = p3, Is = p1, Isr = p7, and
  // Vj = p10 - Eg0 + Eg(295) = p10 + 0.00646.
  EXPECT_EQ(Sig6(BandGap(295)), "1.11646e+00");
  const DiodeParameters p =
      Params(DeviceKind::kDiode, {2e-14, 1.5, 0.2, 0.5, 3, 0, 3e-12, 2.5, 0.4, 0.8, 0.01}).diode;
  const Quantities q = Q({0.75, 0.02});
  const double vt = kBoltzmannOverCharge * 295;
  const double vd = 0.75 - 0.02 * 0.2;
  const double vj = 0.8 - 1.11 + BandGap(295);
  const double inrm = 2e-14 * (std::exp(vd / (1.5 * vt)) - 1);
  const double irec = 3e-12 * (std::exp(vd / (2.5 * vt)) - 1);
  const double id = inrm * std::sqrt(0.5 / (0.5 + inrm)) +
                    irec * std::pow((1 - vd / vj) * (1 - vd / vj) + 0.005, 0.2);
  EXPECT_NEAR(JunctionDiodePower(p, q, 295), 0.02 * 0.02 * 0.2 + vd * id, 1e-15);
}

// A knee current of 0 is SPICE's "no high-injection limit": the diffusion current is the plain
// exponential, also at zero bias (where the knee formula would take 0/0).
TEST(DeviceModels, DiodeWithoutAKneeCurrent) {
  const Quantities q = Q({0.7, 0.05});
  const double vt = kBoltzmannOverCharge * 295;
  const double vd = 0.7 - 0.05 * 0.1;
  const auto diode = [](double knee) {
    return Params(DeviceKind::kDiode, {1e-14, 1, 0.1, knee, 3, 0, 0, 2, 0.5, 0.7, 0.004}).diode;
  };
  const DiodeModelResult none = JunctionDiode(diode(0), q, 295);
  EXPECT_NEAR(none.current, 1e-14 * (std::exp(vd / vt) - 1), 1e-12 * none.current);
  EXPECT_NEAR(none.power, 0.05 * 0.05 * 0.1 + vd * none.current, 1e-15);
  // A knee far above the current changes almost nothing; one at it lowers the current.
  EXPECT_NEAR(JunctionDiode(diode(1e9), q, 295).current, none.current, 1e-9 * none.current);
  EXPECT_LT(JunctionDiode(diode(none.current), q, 295).current, 0.8 * none.current);
  EXPECT_EQ(JunctionDiodePower(diode(0), Q({0, 0}), 295), 0.0);
}

}  // namespace
}  // namespace etherm
