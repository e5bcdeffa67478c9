#pragma once

#include <array>
#include <string>

#include "model/analysis_state.h"
#include "model/problem.h"

namespace etherm {

// e^x for -3000 < x < 3000; beyond, finite continuations: the tangent line of e^x at 3000
// above, ((x + 3000)^2 / 2 + (1 - x) + 3000) e^-3000 below (it grows again as x falls).
long double ClampedExp(long double x);

// Each device's own term rises at one time, [i][k] counted from 1 (K), in the extended format,
// as the term-rise history's text reads into it.
using OwnRises = std::array<std::array<long double, kMaxTerms + 1>, kMaxDevices + 1>;

// The end of the window that starts at t0, when the window before it started at t1: from each
// device's own terms (problem.network's pairs (i, i)), their rises theta1 at t1 and theta0 at
// t0 and the devices' powers at t0 (W, device i from 1). Every own term of every device, in
// device and term order, predicts the time at which its rise will have moved 1 K from its
// value at t0; the window end is the earliest such time after t0, at most tEnd, except that a
// term predicting a time before t0 sets it to 1.1 t0 at its turn. A term whose prediction
// would divide by zero or take the logarithm of zero (a rise already at its steady value, a
// device without power) imposes no limit. Computed in long double.
double ComputeWindowEnd(const Problem& problem, double t1, const OwnRises& theta1, double t0,
                        const OwnRises& theta0, const DeviceTable<long double>& power, double tEnd);

struct HistoryRises {
  OwnRises theta1{};    // at t1
  OwnRises theta0{};    // at t0
  double lastTime = 0;  // s, of the last line read
};

// Reads the own term rises at t1 and t0 from the term-rise history file historyName. Each line
// holds its time, then for device 1 its own term rises, for device 2 its own, and so on. The
// rises are taken from the lines with exactly those times (the last such line read wins;
// reading stops at the first line at or after t0). Fails naming the time when the history has
// no line for t1 or t0, or when such a line ends before the last own term.
HistoryRises ReadHistoryRises(const Problem& problem, const std::string& historyName, double t1,
                              double t0);

}  // namespace etherm
