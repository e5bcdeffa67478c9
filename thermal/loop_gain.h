#pragma once

#include <optional>
#include <vector>

#include "model/problem.h"

namespace etherm {

// The slope dP/dT of a device's power against the temperature it was given, from two
// iterations at the same point; none where the temperatures are too close for the quotient
// to mean anything.
std::optional<double> PowerSlope(double t0, double p0, double t1, double p1);

// dT_i/dP_j of the DC network, devices from 1: the pair's resistance, plus the own one on the
// diagonal.
double NetworkResistance(const ThermalNetwork& network, int i, int j);

struct LoopGain {
  double gain = 0;           // the largest real eigenvalue of the loop
  std::vector<int> devices;  // 1-based, the devices that carry it
};

// The gain of the electrothermal loop around a DC point: the eigenvalue of largest real part
// of M·diag(slopes), M the network's resistances with each device's own on the diagonal.
// slopes holds one value per device (0 for a device without an estimate).
LoopGain LargestLoopGain(const ThermalNetwork& network, const std::vector<double>& slopes);

// Each device's own gain, R_ii·dP_i/dT_i, as the margin 1 − g; none without a slope.
std::vector<std::optional<double>> OwnMargins(const ThermalNetwork& network,
                                              const std::vector<std::optional<double>>& slopes);

}  // namespace etherm
