#pragma once

#include <string>
#include <vector>

namespace etherm {

// The transient layout holds at most this many terms per device pair.
inline constexpr int kMaxFosterTerms = 4;

// One first-order term of a thermal impedance: R (K/W) and tau (s).
struct FosterTerm {
  double resistance = 0;
  double timeConstant = 0;
};
using FosterNetwork = std::vector<FosterTerm>;

// A point of a thermal impedance curve: t (s) and Zth (K/W).
struct CurvePoint {
  double time = 0;
  double zth = 0;
};
using Curve = std::vector<CurvePoint>;

// Zth(t) = sum R_k (1 - exp(-t / tau_k)).
double Impedance(const FosterNetwork& network, double t);

// Largest |Zth_fit(t) - Zth(t)| / Zth(t) over the points.
double LargestRelativeError(const FosterNetwork& network, const Curve& curve);

// Terms sorted by rising time constant, terms without resistance dropped (a zero weight would
// divide by zero in the window-end prediction).
FosterNetwork Normalized(FosterNetwork network);

// The device line of the transient problem layout: name, terminals, term count, own
// resistance (the sum of the terms), weight and time constant of each term, and no coupling
// entries. Everything after the last number of that line is free for a comment.
std::string DeviceLine(const FosterNetwork& network, const std::string& name, int terminals);

// The network's curve from a decade below its fastest to a decade above its slowest time
// constant, 10 points a decade: what a network of too many terms is fitted to.
Curve SampledCurve(const FosterNetwork& network);

}  // namespace etherm
