#include "foster/foster_network.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace etherm {

double Impedance(const FosterNetwork& network, double t) {
  double z = 0;
  for (const FosterTerm& term : network) z += term.resistance * -std::expm1(-t / term.timeConstant);
  return z;
}

double LargestRelativeError(const FosterNetwork& network, const Curve& curve) {
  double largest = 0;
  for (const CurvePoint& p : curve) {
    largest = std::max(largest, std::fabs(Impedance(network, p.time) - p.zth) / p.zth);
  }
  return largest;
}

FosterNetwork Normalized(FosterNetwork network) {
  std::erase_if(network, [](const FosterTerm& term) { return !(term.resistance > 0); });
  std::sort(network.begin(), network.end(), [](const FosterTerm& a, const FosterTerm& b) {
    return a.timeConstant < b.timeConstant;
  });
  return network;
}

namespace {

// Six digits: far below any fit's error, and a form the problem file reader accepts.
std::string Number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", x);
  return text;
}

}  // namespace

std::string DeviceLine(const FosterNetwork& network, const std::string& name, int terminals) {
  double total = 0;
  for (const FosterTerm& term : network) total += term.resistance;
  std::string line = name + " " + std::to_string(terminals) + " " + std::to_string(network.size()) +
                     " " + Number(total);
  for (const FosterTerm& term : network) {
    line += " " + Number(term.resistance / total) + " " + Number(term.timeConstant);
  }
  return line + " 0";
}

Curve SampledCurve(const FosterNetwork& network) {
  double fastest = network.front().timeConstant;
  double slowest = fastest;
  for (const FosterTerm& term : network) {
    fastest = std::min(fastest, term.timeConstant);
    slowest = std::max(slowest, term.timeConstant);
  }
  const double first = std::log10(fastest) - 1;
  const int count = static_cast<int>(std::ceil((std::log10(slowest) + 1 - first) * 10)) + 1;
  Curve curve;
  for (int i = 0; i < count; ++i) {
    const double t = std::pow(10.0, first + i / 10.0);
    curve.push_back({t, Impedance(network, t)});
  }
  return curve;
}

}  // namespace etherm
