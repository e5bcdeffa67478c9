#include "power/device_models.h"

#include <cmath>

#include "textio/checked_arithmetic.h"

namespace etherm {

namespace {
using checked::Add;
using checked::Div;
using checked::Exp;
using checked::Log;
using checked::Mul;
using checked::Pow;
using checked::Sub;

constexpr double k = kBoltzmannOverCharge;
constexpr double Tr = kModelReferenceTemperature;
constexpr double Eg0 = kReferenceBandGap;

// Every operation is checked as it is done, so the failure reported is the first in the
// formulas' order; values a later branch may leave unused are computed, and fail, all the
// same. Where an operation takes two computed operands, they are computed left to right by the
// statements before it (argument order is not fixed in C++).

double BandGapChecked(double T) {
  const double square = Mul(T, T);
  const double scaled = Mul(7.02e-4, square);
  const double denominator = Add(T, 1108.0);
  return Sub(1.16, Div(scaled, denominator));
}

// Is = p1 exp((T/Tr - 1) Eg / (n Vt)) (T/Tr)^(p5/n): a saturation current at T from its value
// p1 at Tr, for emission coefficient n.
double SaturationCurrent(double p1, double n, double p5, double T, double Eg, double Vt) {
  const double rise = Sub(Div(T, Tr), 1.0);
  const double numerator = Mul(rise, Eg);
  const double denominator = Mul(n, Vt);
  const double growth = Exp(Div(numerator, denominator));
  const double grown = Mul(p1, growth);
  const double ratio = Div(T, Tr);
  const double scale = Pow(ratio, Div(p5, n));
  return Mul(grown, scale);
}

// I (exp(V / (n Vt)) - 1): a junction's current at voltage V.
double JunctionCurrent(double I, double V, double n, double Vt) {
  const double exponent = Div(V, Mul(n, Vt));
  return Mul(I, Sub(Exp(exponent), 1.0));
}

// p5 (T/Tr)^-1.5 p6 / p7: the transconductance at T.
double Transconductance(double atTr, double width, double length, double T) {
  const double cooling = Pow(Div(T, Tr), -1.5);
  return Div(Mul(Mul(atTr, cooling), width), length);
}

}  // namespace

double BandGap(double t) {
  return BandGapChecked(t);
}

double JunctionDiodePower(const DiodeParameters& p, const Quantities& q, double T) {
  const double R =
      Mul(p.seriesResistance, Add(1.0, Mul(p.resistanceTemperatureCoefficient, Sub(T, Tr))));
  const double Vd = Sub(q[1], Mul(q[2], R));
  const double Vt = Mul(k, T);
  const double Eg = BandGapChecked(T);
  const double Is = SaturationCurrent(p.saturationCurrent, p.emissionCoefficient,
                                      p.saturationTemperatureExponent, T, Eg, Vt);
  const double Isr = SaturationCurrent(p.recombinationCurrent, p.recombinationEmissionCoefficient,
                                       p.saturationTemperatureExponent, T, Eg, Vt);
  const double junction = Div(Mul(p.junctionPotential, T), Tr);
  const double threeVt = Mul(3.0, Vt);
  const double thermal = Mul(threeVt, Log(Div(T, Tr)));
  const double gap = Div(Mul(Eg0, T), Tr);
  const double Vj = Add(Sub(Sub(junction, thermal), gap), Eg);
  const double Inrm = JunctionCurrent(Is, Vd, p.emissionCoefficient, Vt);
  const double knee = Div(p.kneeCurrent, Add(p.kneeCurrent, Inrm));
  const double A = Mul(Inrm, std::sqrt(std::fabs(knee)));
  const double Irec = JunctionCurrent(Isr, Vd, p.recombinationEmissionCoefficient, Vt);
  const double distance = Sub(1.0, Div(Vd, Vj));
  const double base = Add(Mul(distance, distance), 0.005);
  const double B = Mul(Irec, Pow(base, Div(p.gradingCoefficient, 2.0)));
  const double Id = Add(A, B);
  const double resistive = Mul(Mul(q[2], q[2]), R);
  return Add(resistive, Mul(Vd, Id));
}

double TransistorModelAPower(const TransistorAParameters& p, const Quantities& q, double T) {
  const double gateSide = Sub(q[1], Mul(p.gateResistance, q[2]));
  const double u = Add(gateSide, Mul(p.sourceResistance, Add(q[2], q[4])));
  const double drainSide = Sub(q[3], Mul(p.drainResistance, q[4]));
  const double w = Add(drainSide, Mul(p.sourceResistance, Add(q[2], q[4])));
  const double Vt = Mul(k, T);
  const double Eg = BandGapChecked(T);
  const double gapShift = Sub(Div(Mul(Eg0, T), Tr), Eg);
  const double scaled = Mul(p.diodeSaturationCurrent, Exp(Div(gapShift, Vt)));
  const double Idiode = JunctionCurrent(scaled, -w, 1.0, Vt);
  const double beta = Transconductance(p.transconductance, p.channelWidth, p.channelLength, T);
  const double threshold = Add(p.thresholdVoltage, Vt);
  const double Vov = Sub(u, threshold);
  const double above = Sub(u, p.thresholdVoltage);
  const double drive = Sub(above, Div(Vov, 2.0));
  const double Isat = Mul(Mul(beta, drive), Vov);
  const double F = Div(1.0, Sub(1.0, Mul(p.channelLengthModulation, w)));
  double Ich;
  if (u < p.thresholdVoltage) {
    Ich = 0;
  } else if (u > p.thresholdVoltage && u < threshold) {
    Ich = Mul(Mul(Isat, Exp(Div(Vov, Vt))), F);
  } else if (u > threshold && Vov > w) {
    const double linear = Sub(above, Div(w, 2.0));
    Ich = Mul(Mul(Mul(beta, linear), w), F);
  } else {
    Ich = Mul(Isat, F);
  }
  const double gate = Mul(p.gateResistance, Mul(q[2], q[2]));
  const double drain = Mul(p.drainResistance, Mul(q[4], q[4]));
  const double both = Add(q[2], q[4]);
  const double source = Mul(p.sourceResistance, Mul(both, both));
  const double resistive = Add(Add(gate, drain), source);
  return Add(resistive, Mul(Sub(Ich, Idiode), w));
}

double TransistorModelBPower(const TransistorBParameters& p, const Quantities& q, double T) {
  if (T > kModelTemperatureLimit) T = kModelTemperatureLimit;
  const double gapOverKn = Div(p.diodeBandGap, Mul(p.diodeEmissionCoefficient, k));
  const double inverseTr = Div(1.0, Tr);
  const double inverse = Sub(inverseTr, Div(1.0, T));
  const double growth = Exp(Mul(gapOverKn, inverse));
  const double grown = Mul(p.diodeSaturationCurrent, growth);
  const double Is = Mul(grown, Pow(Div(T, Tr), p.diodeSaturationTemperatureExponent));
  const double beta = Transconductance(p.transconductance, p.channelWidth, p.channelLength, T);
  const double Rd =
      Mul(p.drainResistance, Add(1.0, Mul(p.drainResistanceTemperatureCoefficient, Sub(T, Tr))));
  const double gateSide = Sub(q[1], Mul(p.gateResistance, q[2]));
  const double u1 = Sub(gateSide, Mul(p.sourceResistance, Sub(q[2], q[4])));
  const double drainSide = Add(q[3], Mul(Rd, q[4]));
  const double u2 = Sub(drainSide, Mul(p.sourceResistance, Sub(q[2], q[4])));
  const double u3 = Sub(-q[3], Mul(p.diodeBranchResistance, q[6]));
  double Ich = 0;
  if (!(p.thresholdVoltage > u1)) {
    const double overdrive = Sub(u1, p.thresholdVoltage);
    const double half = Div(beta, 2.0);
    const double modulated = Mul(half, Add(1.0, Mul(p.channelLengthModulation, u2)));
    if (overdrive > u2) {
      const double span = Sub(Mul(2.0, overdrive), u2);
      Ich = Mul(Mul(modulated, u2), span);
    } else {
      Ich = Mul(modulated, Mul(overdrive, overdrive));
    }
  }
  const double Vt = Mul(k, T);
  const double forward = JunctionCurrent(Is, u3, p.diodeEmissionCoefficient, Vt);
  const double breakdown = Exp(Div(-Add(u3, p.breakdownVoltage), Vt));
  const double Idiode = Sub(forward, Mul(p.breakdownCurrent, breakdown));
  const double channel = Mul(u2, Ich);
  double sum = Add(channel, Mul(u3, Idiode));
  sum = Add(sum, Mul(Rd, Mul(q[4], q[4])));
  const double sourceCurrent = Add(q[2], Ich);
  sum = Add(sum, Mul(p.sourceResistance, Mul(sourceCurrent, sourceCurrent)));
  sum = Add(sum, Mul(p.gateResistance, Mul(q[2], q[2])));
  return Add(sum, Mul(p.diodeBranchResistance, Mul(q[6], q[6])));
}

}  // namespace etherm
