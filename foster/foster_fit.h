#pragma once

#include <functional>

#include "foster/foster_network.h"

namespace etherm {

struct FosterFit {
  FosterNetwork network;  // normalized
  double largestRelativeError = 0;
};

// The relative error under which fewer terms are preferred when the count is left open.
inline constexpr double kGoodFit = 0.01;

// Fits a Foster network to the curve by Levenberg-Marquardt on the relative residuals
// Zth_fit(t_i) / Zth_i - 1, with R and tau kept positive as exponentials of the free
// parameters. terms 1..4 fits exactly that many terms; terms 0 tries 1, 2, ... up to 4 (and at
// most half the point count) and keeps the first fit whose largest relative error is under
// kGoodFit, else the best one. onTry sees every count tried and its fit, from which terms
// that do nothing on the curve have been dropped. Throws Failure when the curve has fewer
// points than the 2 parameters a term needs.
FosterFit FitFoster(const Curve& curve, int terms,
                    const std::function<void(int terms, const FosterFit&)>& onTry = {});

}  // namespace etherm
