#include "power/device_models.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "textio/checked_arithmetic.h"
#include "textio/failure.h"

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

// The parameters p1..p16 by position, for the failure texts.
template <class Parameters>
std::array<double, 17> ByPosition(const Parameters& p) {
  static_assert(sizeof(Parameters) % sizeof(double) == 0 &&
                sizeof(Parameters) <= 16 * sizeof(double));
  std::array<double, 17> values{};
  std::memcpy(&values[1], &p, sizeof p);
  return values;
}

// One step of a model's formulas: a failure inside it names the step and the parameters it
// takes, so a user sees which number of the problem file to look at.
class Steps {
 public:
  Steps(std::array<double, 17> values, std::span<const char* const> names)
      : values_(values), names_(names) {}

  template <class F>
  auto operator()(const char* step, std::initializer_list<int> used, F&& f) const {
    try {
      return f();
    } catch (const Failure& failure) {
      std::string text = std::string(failure.what()) + " in " + step;
      if (used.size() > 0) {
        text += " (";
        const char* separator = "";
        for (int n : used) {
          text += separator;
          text += "p" + std::to_string(n) + " " + names_[static_cast<std::size_t>(n - 1)] + " = " +
                  ShortNumber(values_[static_cast<std::size_t>(n)]);
          separator = ", ";
        }
        text += ")";
      }
      throw Failure(text);
    }
  }

 private:
  static std::string ShortNumber(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", x);
    return text;
  }
  std::array<double, 17> values_;
  std::span<const char* const> names_;
};

}  // namespace

std::span<const char* const> ModelParameterNames(DeviceKind kind) {
  static constexpr const char* kDiode[] = {
      "saturation current IS (A)",
      "emission coefficient N",
      "series resistance RS (ohm)",
      "knee current IKF (A)",
      "saturation current temperature exponent XTI",
      "not used",
      "recombination current ISR (A)",
      "recombination emission coefficient NR",
      "grading coefficient M",
      "junction potential VJ (V)",
      "series resistance temperature coefficient TRS1 (1/K)",
  };
  static constexpr const char* kModelA[] = {
      "not used",
      "not used",
      "not used",
      "source resistance (ohm)",
      "transconductance parameter (A/V^2)",
      "channel width W",
      "channel length L",
      "threshold voltage (V)",
      "drain resistance (ohm)",
      "gate resistance (ohm)",
      "drain-source diode saturation current (A)",
      "not used",
      "channel-length modulation (1/V)",
  };
  static constexpr const char* kModelB[] = {
      "transconductance parameter (A/V^2)",
      "channel width W",
      "channel length L",
      "threshold voltage (V)",
      "channel-length modulation (1/V)",
      "drain resistance (ohm)",
      "gate resistance (ohm)",
      "source resistance (ohm)",
      "diode branch resistance (ohm)",
      "diode saturation current (A)",
      "diode emission coefficient",
      "diode saturation current temperature exponent",
      "diode band gap (eV)",
      "breakdown voltage (V)",
      "breakdown current (A)",
      "drain resistance temperature coefficient (1/K)",
  };
  switch (kind) {
    case DeviceKind::kDiode:
      return kDiode;
    case DeviceKind::kTransistorA:
      return kModelA;
    case DeviceKind::kTransistorB:
      return kModelB;
    default:
      return {};
  }
}

double BandGap(double t) {
  return BandGapChecked(t);
}

DiodeModelResult JunctionDiode(const DiodeParameters& p, const Quantities& q, double T) {
  const Steps step(ByPosition(p), ModelParameterNames(DeviceKind::kDiode));
  const double R = step("the series resistance R = p3 (1 + p11 (T - Tr))", {3, 11}, [&] {
    return Mul(p.seriesResistance, Add(1.0, Mul(p.resistanceTemperatureCoefficient, Sub(T, Tr))));
  });
  const double Vd =
      step("the junction voltage Vd = q1 - q2 R", {3, 11}, [&] { return Sub(q[1], Mul(q[2], R)); });
  const double Vt = Mul(k, T);
  const double Eg = BandGapChecked(T);
  const double Is = step("the saturation current Is at T", {1, 2, 5}, [&] {
    return SaturationCurrent(p.saturationCurrent, p.emissionCoefficient,
                             p.saturationTemperatureExponent, T, Eg, Vt);
  });
  const double Isr = step("the recombination current Isr at T", {7, 8, 5}, [&] {
    return SaturationCurrent(p.recombinationCurrent, p.recombinationEmissionCoefficient,
                             p.saturationTemperatureExponent, T, Eg, Vt);
  });
  const double Vj = step("the junction potential Vj at T", {10}, [&] {
    const double junction = Div(Mul(p.junctionPotential, T), Tr);
    const double threeVt = Mul(3.0, Vt);
    const double thermal = Mul(threeVt, Log(Div(T, Tr)));
    const double gap = Div(Mul(Eg0, T), Tr);
    return Add(Sub(Sub(junction, thermal), gap), Eg);
  });
  const double A =
      step("the diffusion current Is (exp(Vd / (p2 Vt)) - 1) with the knee", {2, 4}, [&] {
        const double Inrm = JunctionCurrent(Is, Vd, p.emissionCoefficient, Vt);
        // A knee current of 0 means no high-injection limit, as in SPICE;
        // the formula would make the current 0 (or 0/0 at zero bias).
        if (p.kneeCurrent == 0) return Inrm;
        const double knee = Div(p.kneeCurrent, Add(p.kneeCurrent, Inrm));
        return Mul(Inrm, std::sqrt(std::fabs(knee)));
      });
  const double B =
      step("the recombination current Isr (exp(Vd / (p8 Vt)) - 1) (...)^(p9/2)", {8, 9, 10}, [&] {
        const double Irec = JunctionCurrent(Isr, Vd, p.recombinationEmissionCoefficient, Vt);
        const double distance = Sub(1.0, Div(Vd, Vj));
        const double base = Add(Mul(distance, distance), 0.005);
        return Mul(Irec, Pow(base, Div(p.gradingCoefficient, 2.0)));
      });
  return step("the power q2^2 R + Vd Id", {}, [&] {
    const double Id = Add(A, B);
    const double resistive = Mul(Mul(q[2], q[2]), R);
    return DiodeModelResult{Add(resistive, Mul(Vd, Id)), Id};
  });
}

double JunctionDiodePower(const DiodeParameters& p, const Quantities& q, double T) {
  return JunctionDiode(p, q, T).power;
}

TransistorModelResult TransistorModelA(const TransistorAParameters& p, const Quantities& q,
                                       double T) {
  const Steps step(ByPosition(p), ModelParameterNames(DeviceKind::kTransistorA));
  const double u = step("the internal gate voltage u", {4, 10}, [&] {
    const double gateSide = Sub(q[1], Mul(p.gateResistance, q[2]));
    return Add(gateSide, Mul(p.sourceResistance, Add(q[2], q[4])));
  });
  const double w = step("the internal drain voltage w", {4, 9}, [&] {
    const double drainSide = Sub(q[3], Mul(p.drainResistance, q[4]));
    return Add(drainSide, Mul(p.sourceResistance, Add(q[2], q[4])));
  });
  const double Vt = Mul(k, T);
  const double Eg = BandGapChecked(T);
  const double Idiode = step("the drain-source diode current", {11}, [&] {
    const double gapShift = Sub(Div(Mul(Eg0, T), Tr), Eg);
    const double scaled = Mul(p.diodeSaturationCurrent, Exp(Div(gapShift, Vt)));
    return JunctionCurrent(scaled, -w, 1.0, Vt);
  });
  const double beta = step("the transconductance p5 (T/Tr)^-1.5 p6 / p7", {5, 6, 7}, [&] {
    return Transconductance(p.transconductance, p.channelWidth, p.channelLength, T);
  });
  const double Ich = step("the channel current", {8, 13}, [&] {
    const double threshold = Add(p.thresholdVoltage, Vt);
    const double Vov = Sub(u, threshold);
    const double above = Sub(u, p.thresholdVoltage);
    const double drive = Sub(above, Div(Vov, 2.0));
    const double Isat = Mul(Mul(beta, drive), Vov);
    const double F = Div(1.0, Sub(1.0, Mul(p.channelLengthModulation, w)));
    if (u < p.thresholdVoltage) return 0.0;
    if (u > p.thresholdVoltage && u < threshold) return Mul(Mul(Isat, Exp(Div(Vov, Vt))), F);
    if (u > threshold && Vov > w) {
      const double linear = Sub(above, Div(w, 2.0));
      return Mul(Mul(Mul(beta, linear), w), F);
    }
    return Mul(Isat, F);
  });
  return step("the power", {4, 9, 10}, [&] {
    const double gate = Mul(p.gateResistance, Mul(q[2], q[2]));
    const double drain = Mul(p.drainResistance, Mul(q[4], q[4]));
    const double both = Add(q[2], q[4]);
    const double source = Mul(p.sourceResistance, Mul(both, both));
    const double resistive = Add(Add(gate, drain), source);
    const double current = Sub(Ich, Idiode);
    return TransistorModelResult{Add(resistive, Mul(current, w)), current};
  });
}

double TransistorModelAPower(const TransistorAParameters& p, const Quantities& q, double T) {
  return TransistorModelA(p, q, T).power;
}

TransistorModelResult TransistorModelB(const TransistorBParameters& p, const Quantities& q,
                                       double T) {
  if (T > kModelTemperatureLimit) T = kModelTemperatureLimit;
  const Steps step(ByPosition(p), ModelParameterNames(DeviceKind::kTransistorB));
  const double Is = step("the diode saturation current at T", {10, 11, 12, 13}, [&] {
    const double gapOverKn = Div(p.diodeBandGap, Mul(p.diodeEmissionCoefficient, k));
    const double inverseTr = Div(1.0, Tr);
    const double inverse = Sub(inverseTr, Div(1.0, T));
    const double growth = Exp(Mul(gapOverKn, inverse));
    const double grown = Mul(p.diodeSaturationCurrent, growth);
    return Mul(grown, Pow(Div(T, Tr), p.diodeSaturationTemperatureExponent));
  });
  const double beta = step("the transconductance p1 (T/Tr)^-1.5 p2 / p3", {1, 2, 3}, [&] {
    return Transconductance(p.transconductance, p.channelWidth, p.channelLength, T);
  });
  const double Rd = step("the drain resistance at T", {6, 16}, [&] {
    return Mul(p.drainResistance,
               Add(1.0, Mul(p.drainResistanceTemperatureCoefficient, Sub(T, Tr))));
  });
  const double u1 = step("the internal gate voltage u1", {7, 8}, [&] {
    const double gateSide = Sub(q[1], Mul(p.gateResistance, q[2]));
    return Sub(gateSide, Mul(p.sourceResistance, Sub(q[2], q[4])));
  });
  const double u2 = step("the internal drain voltage u2", {6, 8}, [&] {
    const double drainSide = Add(q[3], Mul(Rd, q[4]));
    return Sub(drainSide, Mul(p.sourceResistance, Sub(q[2], q[4])));
  });
  const double u3 = step("the diode voltage u3", {9},
                         [&] { return Sub(-q[3], Mul(p.diodeBranchResistance, q[6])); });
  const double Ich = step("the channel current", {4, 5}, [&] {
    if (p.thresholdVoltage > u1) return 0.0;
    const double overdrive = Sub(u1, p.thresholdVoltage);
    const double half = Div(beta, 2.0);
    const double modulated = Mul(half, Add(1.0, Mul(p.channelLengthModulation, u2)));
    if (overdrive > u2) {
      const double span = Sub(Mul(2.0, overdrive), u2);
      return Mul(Mul(modulated, u2), span);
    }
    return Mul(modulated, Mul(overdrive, overdrive));
  });
  const double Vt = Mul(k, T);
  const double Idiode = step("the diode current", {11, 14, 15}, [&] {
    const double forward = JunctionCurrent(Is, u3, p.diodeEmissionCoefficient, Vt);
    const double breakdown = Exp(Div(-Add(u3, p.breakdownVoltage), Vt));
    return Sub(forward, Mul(p.breakdownCurrent, breakdown));
  });
  const double power = step("the power", {6, 7, 8, 9}, [&] {
    const double channel = Mul(u2, Ich);
    double sum = Add(channel, Mul(u3, Idiode));
    sum = Add(sum, Mul(Rd, Mul(q[4], q[4])));
    const double sourceCurrent = Add(q[2], Ich);
    sum = Add(sum, Mul(p.sourceResistance, Mul(sourceCurrent, sourceCurrent)));
    sum = Add(sum, Mul(p.gateResistance, Mul(q[2], q[2])));
    return Add(sum, Mul(p.diodeBranchResistance, Mul(q[6], q[6])));
  });
  // Unchecked: only the comparison with the simulator takes it, and the power did not fail.
  return TransistorModelResult{power, Ich - Idiode};
}

double TransistorModelBPower(const TransistorBParameters& p, const Quantities& q, double T) {
  return TransistorModelB(p, q, T).power;
}

}  // namespace etherm
