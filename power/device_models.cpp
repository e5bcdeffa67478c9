#include "power/device_models.h"

#include <cmath>

#include "thermal/arithmetic_traps.h"

namespace etherm {

namespace {
constexpr double k = kBoltzmannOverCharge;
constexpr double Tr = kModelReferenceTemperature;
constexpr double Eg0 = kReferenceBandGap;

// A value the formulas compute before a branch decides whether it is used. The optimiser would
// drop it, and its failure with it, when the branch leaves it unused; the models fail on it
// all the same, so it is always computed.
template <class Mode>
double Kept(Mode mode, double x) {
  if constexpr (Mode::value) {
    return TrapAfter(mode, x);
  } else {
    volatile double kept = x;
    return kept;
  }
}

// In the checked run every operation is checked as it is done, so the failure reported is the
// first in the formulas' order. Where an operation takes two computed operands, they are
// computed left to right by the statements before it (argument order is not fixed in C++).

template <class Mode>
double BandGapIn(Mode m, double T) {
  const double square = TrapAfter(m, T * T);
  const double scaled = TrapAfter(m, 7.02e-4 * square);
  const double denominator = TrapAfter(m, T + 1108);
  return TrapAfter(m, 1.16 - TrapAfter(m, scaled / denominator));
}

// Is = p1 exp((T/Tr - 1) Eg / (n Vt)) (T/Tr)^(p5/n): a saturation current at T from its value
// p1 at Tr, for emission coefficient n.
template <class Mode>
double SaturationCurrent(Mode m, double p1, double n, double p5, double T, double Eg, double Vt) {
  const double rise = TrapAfter(m, TrapAfter(m, T / Tr) - 1);
  const double numerator = TrapAfter(m, rise * Eg);
  const double denominator = TrapAfter(m, n * Vt);
  const double growth = TrapAfter(m, std::exp(TrapAfter(m, numerator / denominator)));
  const double grown = TrapAfter(m, p1 * growth);
  const double ratio = TrapAfter(m, T / Tr);
  const double scale = TrapAfter(m, std::pow(ratio, TrapAfter(m, p5 / n)));
  return TrapAfter(m, grown * scale);
}

// I (exp(V / (n Vt)) - 1): a junction's current at voltage V.
template <class Mode>
double JunctionCurrent(Mode m, double I, double V, double n, double Vt) {
  const double exponent = TrapAfter(m, V / TrapAfter(m, n * Vt));
  return TrapAfter(m, I * TrapAfter(m, TrapAfter(m, std::exp(exponent)) - 1));
}

template <class Mode>
double DiodePower(Mode m, const ModelParameters& p, const Quantities& q, double T) {
  const double R =
      TrapAfter(m, p[3] * TrapAfter(m, 1 + TrapAfter(m, p[11] * TrapAfter(m, T - Tr))));
  const double Vd = TrapAfter(m, q[1] - TrapAfter(m, q[2] * R));
  const double Vt = TrapAfter(m, k * T);
  const double Eg = BandGapIn(m, T);
  const double Is = SaturationCurrent(m, p[1], p[2], p[5], T, Eg, Vt);
  const double Isr = SaturationCurrent(m, p[7], p[8], p[5], T, Eg, Vt);
  const double junction = TrapAfter(m, TrapAfter(m, p[10] * T) / Tr);
  const double threeVt = TrapAfter(m, 3 * Vt);
  const double thermal = TrapAfter(m, threeVt * TrapAfter(m, std::log(TrapAfter(m, T / Tr))));
  const double gap = TrapAfter(m, TrapAfter(m, Eg0 * T) / Tr);
  const double Vj = TrapAfter(m, TrapAfter(m, TrapAfter(m, junction - thermal) - gap) + Eg);
  const double Inrm = JunctionCurrent(m, Is, Vd, p[2], Vt);
  const double knee = TrapAfter(m, p[4] / TrapAfter(m, p[4] + Inrm));
  const double A = TrapAfter(m, Inrm * TrapAfter(m, std::sqrt(std::fabs(knee))));
  const double Irec = JunctionCurrent(m, Isr, Vd, p[8], Vt);
  const double distance = TrapAfter(m, 1 - TrapAfter(m, Vd / Vj));
  const double base = TrapAfter(m, TrapAfter(m, distance * distance) + 0.005);
  const double B = TrapAfter(m, Irec * TrapAfter(m, std::pow(base, TrapAfter(m, p[9] / 2))));
  const double Id = TrapAfter(m, A + B);
  const double resistive = TrapAfter(m, TrapAfter(m, q[2] * q[2]) * R);
  return TrapAfter(m, resistive + TrapAfter(m, Vd * Id));
}

// p5 (T/Tr)^-1.5 p6 / p7: the transconductance at T; kept, as it is computed ahead of the
// branch that may leave it unused.
template <class Mode>
double Transconductance(Mode m, double atTr, double width, double length, double T) {
  const double cooling = TrapAfter(m, std::pow(TrapAfter(m, T / Tr), -1.5));
  return Kept(m, TrapAfter(m, TrapAfter(m, TrapAfter(m, atTr * cooling) * width) / length));
}

template <class Mode>
double ModelAPower(Mode m, const ModelParameters& p, const Quantities& q, double T) {
  const double gateSide = TrapAfter(m, q[1] - TrapAfter(m, p[10] * q[2]));
  const double u = TrapAfter(m, gateSide + TrapAfter(m, p[4] * TrapAfter(m, q[2] + q[4])));
  const double drainSide = TrapAfter(m, q[3] - TrapAfter(m, p[9] * q[4]));
  const double w = TrapAfter(m, drainSide + TrapAfter(m, p[4] * TrapAfter(m, q[2] + q[4])));
  const double Vt = TrapAfter(m, k * T);
  const double Eg = BandGapIn(m, T);
  const double gapShift = TrapAfter(m, TrapAfter(m, TrapAfter(m, Eg0 * T) / Tr) - Eg);
  const double scaled = TrapAfter(m, p[11] * TrapAfter(m, std::exp(TrapAfter(m, gapShift / Vt))));
  const double Idiode = JunctionCurrent(m, scaled, -w, 1, Vt);
  const double beta = Transconductance(m, p[5], p[6], p[7], T);
  const double threshold = TrapAfter(m, p[8] + Vt);
  const double Vov = Kept(m, TrapAfter(m, u - threshold));
  const double above = TrapAfter(m, u - p[8]);
  const double drive = TrapAfter(m, above - TrapAfter(m, Vov / 2));
  const double Isat = Kept(m, TrapAfter(m, TrapAfter(m, beta * drive) * Vov));
  const double F = Kept(m, TrapAfter(m, 1 / TrapAfter(m, 1 - TrapAfter(m, p[13] * w))));
  double Ich;
  if (u < p[8]) {
    Ich = 0;
  } else if (u > p[8] && u < threshold) {
    Ich = TrapAfter(m, TrapAfter(m, Isat * TrapAfter(m, std::exp(TrapAfter(m, Vov / Vt)))) * F);
  } else if (u > threshold && Vov > w) {
    const double linear = TrapAfter(m, above - TrapAfter(m, w / 2));
    Ich = TrapAfter(m, TrapAfter(m, TrapAfter(m, beta * linear) * w) * F);
  } else {
    Ich = TrapAfter(m, Isat * F);
  }
  const double gate = TrapAfter(m, p[10] * TrapAfter(m, q[2] * q[2]));
  const double drain = TrapAfter(m, p[9] * TrapAfter(m, q[4] * q[4]));
  const double both = TrapAfter(m, q[2] + q[4]);
  const double source = TrapAfter(m, p[4] * TrapAfter(m, both * both));
  const double resistive = TrapAfter(m, TrapAfter(m, gate + drain) + source);
  return TrapAfter(m, resistive + TrapAfter(m, TrapAfter(m, Ich - Idiode) * w));
}

template <class Mode>
double ModelBPower(Mode m, const ModelParameters& p, const Quantities& q, double T) {
  if (T > kModelTemperatureLimit) T = kModelTemperatureLimit;
  const double gapOverKn = TrapAfter(m, p[13] / TrapAfter(m, p[11] * k));
  const double inverseTr = TrapAfter(m, 1 / Tr);
  const double inverse = TrapAfter(m, inverseTr - TrapAfter(m, 1 / T));
  const double growth = TrapAfter(m, std::exp(TrapAfter(m, gapOverKn * inverse)));
  const double grown = TrapAfter(m, p[10] * growth);
  const double Is = TrapAfter(m, grown * TrapAfter(m, std::pow(TrapAfter(m, T / Tr), p[12])));
  const double beta = Transconductance(m, p[1], p[2], p[3], T);
  const double Rd =
      TrapAfter(m, p[6] * TrapAfter(m, 1 + TrapAfter(m, p[16] * TrapAfter(m, T - Tr))));
  const double gateSide = TrapAfter(m, q[1] - TrapAfter(m, p[7] * q[2]));
  const double u1 = TrapAfter(m, gateSide - TrapAfter(m, p[8] * TrapAfter(m, q[2] - q[4])));
  const double drainSide = TrapAfter(m, q[3] + TrapAfter(m, Rd * q[4]));
  const double u2 = TrapAfter(m, drainSide - TrapAfter(m, p[8] * TrapAfter(m, q[2] - q[4])));
  const double u3 = TrapAfter(m, -q[3] - TrapAfter(m, p[9] * q[6]));
  double Ich = 0;
  if (!(p[4] > u1)) {
    const double overdrive = TrapAfter(m, u1 - p[4]);
    const double half = TrapAfter(m, beta / 2);
    const double modulated = TrapAfter(m, half * TrapAfter(m, 1 + TrapAfter(m, p[5] * u2)));
    if (overdrive > u2) {
      const double span = TrapAfter(m, TrapAfter(m, 2 * overdrive) - u2);
      Ich = TrapAfter(m, TrapAfter(m, modulated * u2) * span);
    } else {
      Ich = TrapAfter(m, modulated * TrapAfter(m, overdrive * overdrive));
    }
  }
  const double Vt = TrapAfter(m, k * T);
  const double forward = JunctionCurrent(m, Is, u3, p[11], Vt);
  const double breakdown = TrapAfter(m, std::exp(TrapAfter(m, -TrapAfter(m, u3 + p[14]) / Vt)));
  const double Idiode = TrapAfter(m, forward - TrapAfter(m, p[15] * breakdown));
  const double channel = TrapAfter(m, u2 * Ich);
  double sum = TrapAfter(m, channel + TrapAfter(m, u3 * Idiode));
  sum = TrapAfter(m, sum + TrapAfter(m, Rd * TrapAfter(m, q[4] * q[4])));
  const double sourceCurrent = TrapAfter(m, q[2] + Ich);
  sum = TrapAfter(m, sum + TrapAfter(m, p[8] * TrapAfter(m, sourceCurrent * sourceCurrent)));
  sum = TrapAfter(m, sum + TrapAfter(m, p[7] * TrapAfter(m, q[2] * q[2])));
  return TrapAfter(m, sum + TrapAfter(m, p[9] * TrapAfter(m, q[6] * q[6])));
}

template <class Model>
double WithTraps(Model model) {
  double power = 0;
  ComputeWithTraps([&](auto mode) { power = model(mode); });
  return power;
}

}  // namespace

double BandGap(double t) {
  return BandGapIn(Unchecked{}, t);
}

double JunctionDiodePower(const ModelParameters& p, const Quantities& q, double T) {
  return WithTraps([&](auto mode) { return DiodePower(mode, p, q, T); });
}

double TransistorModelAPower(const ModelParameters& p, const Quantities& q, double T) {
  return WithTraps([&](auto mode) { return ModelAPower(mode, p, q, T); });
}

double TransistorModelBPower(const ModelParameters& p, const Quantities& q, double T) {
  return WithTraps([&](auto mode) { return ModelBPower(mode, p, q, T); });
}

}  // namespace etherm
