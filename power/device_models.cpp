#include "power/device_models.h"

#include <cmath>

namespace etherm {

namespace {
constexpr double k = kBoltzmannOverCharge;
constexpr double Tr = kModelReferenceTemperature;
constexpr double Eg0 = kReferenceBandGap;

double Sq(double x) {
  return x * x;
}
}  // namespace

double BandGap(double t) {
  return 1.16 - 7.02e-4 * Sq(t) / (t + 1108);
}

double JunctionDiodePower(const ModelParameters& p, const Quantities& q, double T) {
  const double R = p[3] * (1 + p[11] * (T - Tr));
  const double Vd = q[1] - q[2] * R;
  const double Vt = k * T;
  const double Eg = BandGap(T);
  const double Is =
      p[1] * std::exp((T / Tr - 1) * Eg / (p[2] * Vt)) * std::pow(T / Tr, p[5] / p[2]);
  const double Isr =
      p[7] * std::exp((T / Tr - 1) * Eg / (p[8] * Vt)) * std::pow(T / Tr, p[5] / p[8]);
  const double Vj = p[10] * T / Tr - 3 * Vt * std::log(T / Tr) - Eg0 * T / Tr + Eg;
  const double Inrm = Is * (std::exp(Vd / (p[2] * Vt)) - 1);
  const double A = Inrm * std::sqrt(std::fabs(p[4] / (p[4] + Inrm)));
  const double Irec = Isr * (std::exp(Vd / (p[8] * Vt)) - 1);
  const double B = Irec * std::pow(Sq(1 - Vd / Vj) + 0.005, p[9] / 2);
  const double Id = A + B;
  return Sq(q[2]) * R + Vd * Id;
}

double TransistorModelAPower(const ModelParameters& p, const Quantities& q, double T) {
  const double u = q[1] - p[10] * q[2] + p[4] * (q[2] + q[4]);
  const double w = q[3] - p[9] * q[4] + p[4] * (q[2] + q[4]);
  const double Vt = k * T;
  const double Eg = BandGap(T);
  const double Idiode = p[11] * std::exp((Eg0 * T / Tr - Eg) / Vt) * (std::exp(-w / Vt) - 1);
  const double beta = p[5] * std::pow(T / Tr, -1.5) * p[6] / p[7];
  const double Vov = u - (p[8] + Vt);
  const double Isat = beta * ((u - p[8]) - Vov / 2) * Vov;
  const double F = 1 / (1 - p[13] * w);
  double Ich;
  if (u < p[8]) {
    Ich = 0;
  } else if (u > p[8] && u < p[8] + Vt) {
    Ich = Isat * std::exp(Vov / Vt) * F;
  } else if (u > p[8] + Vt && Vov > w) {
    Ich = beta * ((u - p[8]) - w / 2) * w * F;
  } else {
    Ich = Isat * F;
  }
  return p[10] * Sq(q[2]) + p[9] * Sq(q[4]) + p[4] * Sq(q[2] + q[4]) + (Ich - Idiode) * w;
}

double TransistorModelBPower(const ModelParameters& p, const Quantities& q, double T) {
  if (T > kModelTemperatureLimit) T = kModelTemperatureLimit;
  const double Is =
      p[10] * std::exp(p[13] / (p[11] * k) * (1 / Tr - 1 / T)) * std::pow(T / Tr, p[12]);
  const double beta = p[1] * std::pow(T / Tr, -1.5) * p[2] / p[3];
  const double Rd = p[6] * (1 + p[16] * (T - Tr));
  const double u1 = q[1] - p[7] * q[2] - p[8] * (q[2] - q[4]);
  const double u2 = q[3] + Rd * q[4] - p[8] * (q[2] - q[4]);
  const double u3 = -q[3] - p[9] * q[6];
  double Ich;
  if (p[4] > u1) {
    Ich = 0;
  } else if (u1 - p[4] > u2) {
    Ich = beta / 2 * (1 + p[5] * u2) * u2 * (2 * (u1 - p[4]) - u2);
  } else {
    Ich = beta / 2 * (1 + p[5] * u2) * Sq(u1 - p[4]);
  }
  const double Vt = k * T;
  const double Idiode =
      Is * (std::exp(u3 / (p[11] * Vt)) - 1) - p[15] * std::exp(-(u3 + p[14]) / Vt);
  return u2 * Ich + u3 * Idiode + Rd * Sq(q[4]) + p[8] * Sq(q[2] + Ich) + p[7] * Sq(q[2]) +
         p[9] * Sq(q[6]);
}

}  // namespace etherm
