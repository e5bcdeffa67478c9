#pragma once

#include "model/analysis_state.h"

namespace etherm {

// e^x for -3000 < x < 3000; beyond, finite continuations: the tangent line of e^x at 3000
// above, ((x + 3000)^2 / 2 + (1 - x) + 3000) e^-3000 below (it grows again as x falls).
long double ClampedExp(long double x);

// Sets windowEndTime for the window that starts at windowStartTime (t0), from the term-rise
// history baseName + ".spl" and the powers at t0 in powerSample. Each history line holds its
// time, then for device 1 its selfTermCount[1] own term rises, for device 2 its own, and so
// on. The rises at previousWindowStartTime (t1) and at t0 are taken from the lines with those
// exact times (the last such line read wins; reading stops at the first line at or after t0).
// Every own term of every device, in device and term order, predicts the time at which its
// rise will have moved 1 K from its value at t0; the window end is the earliest such time
// after t0, at most analysisEnd, except that a term predicting a time before t0 sets it to
// 1.1 t0 at its turn. A term whose prediction would divide by zero or take the logarithm of
// zero (a rise already at its steady value, a device without power) imposes no limit.
// Computed in long double; sampleTime is left at the time of the last history line read.
// Fails naming the time when the history has no line for t1 or t0, or when such a line ends
// before the last own term.
void ComputeWindowEnd(AnalysisState& state);

}  // namespace etherm
