#pragma once

#include <array>
#include <span>

#include "model/problem.h"

namespace etherm {

// Temperature-dependent device models that recompute a device's dissipated power from its
// recorded terminal quantities, with the parameters of the device's kind; quantities q[1..6] are
// the device's values in the result table (q[0] unused). T is in kelvin. The arithmetic follows the
// models' formulas in their written order, every value computed whether or not a branch uses it; a
// division by zero, a logarithm of a non-positive number, an invalid operation or an overflow
// throws Failure with the arithmetic text of the first operation that failed, followed by
// " in " and the step of the formulas it belongs to with the parameters that step takes
// ("Floating point division by zero in the saturation current Is at T (p1 saturation current
// IS (A) = 1e-14, p2 emission coefficient N = 0, ...)").

inline constexpr double kBoltzmannOverCharge = 8.62e-5;      // V/K
inline constexpr double kModelReferenceTemperature = 295.0;  // K, where the parameters hold
inline constexpr double kReferenceBandGap = 1.11;         // eV, taken at the reference temperature
inline constexpr double kPowerLimit = 100.0;              // W, kinds 2 and 3
inline constexpr double kModelTemperatureLimit = 1000.0;  // K, kind 3

using Quantities = std::array<double, 7>;

// The names of a kind's parameters p1.. in order, with their units, for messages; empty for
// kind 0.
std::span<const char* const> ModelParameterNames(DeviceKind kind);

// A model's power and the current it computes for the part of the device that the simulator
// also reports: the junction current (kind 1, against the current through the diode) or the
// channel current less the drain-source diode's (kind 2, against the drain current; kind 3,
// against the current into the drain, -(q4 + q6)).
struct DiodeModelResult {
  double power = 0;
  double current = 0;
};
using TransistorModelResult = DiodeModelResult;

// Band gap in eV: 1.16 - 7.02E-4 T^2 / (T + 1108).
double BandGap(double t);

// Kind 1, junction diode: q1 voltage across, q2 current through the device. Not limited. A
// knee current p4 of 0 means no high-injection limit (as in SPICE).
double JunctionDiodePower(const DiodeParameters& p, const Quantities& q, double t);
DiodeModelResult JunctionDiode(const DiodeParameters& p, const Quantities& q, double t);

// Kind 2, transistor model A: q1 gate voltage, q2 gate current, q3 drain voltage, q4 drain
// current. The power before the 100 W limit.
double TransistorModelAPower(const TransistorAParameters& p, const Quantities& q, double t);
TransistorModelResult TransistorModelA(const TransistorAParameters& p, const Quantities& q,
                                       double t);

// Kind 3, transistor model B: q1 gate voltage, q2 gate current, q3 drain voltage, q4 drain
// current, q6 current of the drain-source diode branch. T above 1000 K is taken as 1000 K.
// The power before the 100 W limit.
double TransistorModelBPower(const TransistorBParameters& p, const Quantities& q, double t);
TransistorModelResult TransistorModelB(const TransistorBParameters& p, const Quantities& q,
                                       double t);

}  // namespace etherm
