#include "foster/foster_fit.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit_nlinear.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "foster/gsl_errors.h"
#include "textio/failure.h"

namespace etherm {

namespace {

// Parameters 2k and 2k+1 are log(R_k / rScale) and log(tau_k / tScale), so both stay positive
// and of order one whatever the units of the curve.
struct Problem {
  const Curve* curve;
  double rScale;
  double tScale;
  std::size_t terms;
};

// Keeps a wild trial step finite; such steps are rejected by the trust region anyway.
double Exp(double x) {
  return std::exp(std::clamp(x, -250.0, 250.0));
}

int Residuals(const gsl_vector* x, void* data, gsl_vector* f) {
  const Problem& p = *static_cast<const Problem*>(data);
  for (std::size_t i = 0; i < p.curve->size(); ++i) {
    const CurvePoint& point = (*p.curve)[i];
    double z = 0;
    for (std::size_t k = 0; k < p.terms; ++k) {
      const double r = p.rScale * Exp(gsl_vector_get(x, 2 * k));
      const double tau = p.tScale * Exp(gsl_vector_get(x, 2 * k + 1));
      z += r * -std::expm1(-point.time / tau);
    }
    gsl_vector_set(f, i, z / point.zth - 1);
  }
  return GSL_SUCCESS;
}

int Jacobian(const gsl_vector* x, void* data, gsl_matrix* jacobian) {
  const Problem& p = *static_cast<const Problem*>(data);
  for (std::size_t i = 0; i < p.curve->size(); ++i) {
    const CurvePoint& point = (*p.curve)[i];
    for (std::size_t k = 0; k < p.terms; ++k) {
      const double r = p.rScale * Exp(gsl_vector_get(x, 2 * k));
      const double tau = p.tScale * Exp(gsl_vector_get(x, 2 * k + 1));
      const double ratio = point.time / tau;
      gsl_matrix_set(jacobian, i, 2 * k, r * -std::expm1(-ratio) / point.zth);
      gsl_matrix_set(jacobian, i, 2 * k + 1, -r * std::exp(-ratio) * ratio / point.zth);
    }
  }
  return GSL_SUCCESS;
}

// A spare term may end with a vanishing resistance or a time constant far outside the curve,
// where it does nothing; it would only clutter the device line.
FosterNetwork WithoutNegligibleTerms(FosterNetwork network, const Curve& curve) {
  std::erase_if(network, [&](const FosterTerm& term) {
    double share = 0;
    for (const CurvePoint& point : curve) {
      share = std::max(share,
                       term.resistance * -std::expm1(-point.time / term.timeConstant) / point.zth);
    }
    return share < 1e-6;
  });
  return network;
}

struct WorkspaceFree {
  void operator()(gsl_multifit_nlinear_workspace* w) const { gsl_multifit_nlinear_free(w); }
};
struct VectorFree {
  void operator()(gsl_vector* v) const { gsl_vector_free(v); }
};

// One Levenberg-Marquardt run from a start; nothing when it breaks down.
std::optional<FosterFit> RunFrom(const Curve& curve, const FosterNetwork& start) {
  Problem problem{&curve, 0, 0, start.size()};
  for (const CurvePoint& point : curve) problem.rScale = std::max(problem.rScale, point.zth);
  problem.tScale = std::sqrt(curve.front().time * curve.back().time);
  const std::size_t parameters = 2 * start.size();

  gsl_multifit_nlinear_fdf fdf{};
  fdf.f = Residuals;
  fdf.df = Jacobian;
  fdf.n = curve.size();
  fdf.p = parameters;
  fdf.params = &problem;
  gsl_multifit_nlinear_parameters settings = gsl_multifit_nlinear_default_parameters();
  settings.trs = gsl_multifit_nlinear_trs_lm;
  std::unique_ptr<gsl_multifit_nlinear_workspace, WorkspaceFree> work(
      gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &settings, curve.size(), parameters));
  std::unique_ptr<gsl_vector, VectorFree> x(gsl_vector_alloc(parameters));
  if (!work || !x) return std::nullopt;
  for (std::size_t k = 0; k < start.size(); ++k) {
    gsl_vector_set(x.get(), 2 * k, std::log(start[k].resistance / problem.rScale));
    gsl_vector_set(x.get(), 2 * k + 1, std::log(start[k].timeConstant / problem.tScale));
  }
  if (gsl_multifit_nlinear_init(x.get(), &fdf, work.get()) != GSL_SUCCESS) return std::nullopt;
  int info = 0;
  const int status =
      gsl_multifit_nlinear_driver(400, 1e-12, 1e-12, 1e-14, nullptr, nullptr, &info, work.get());
  // Running out of iterations still leaves the best point reached.
  if (status != GSL_SUCCESS && status != GSL_EMAXITER && status != GSL_ENOPROG) {
    return std::nullopt;
  }
  const gsl_vector* solution = gsl_multifit_nlinear_position(work.get());
  FosterFit fit;
  for (std::size_t k = 0; k < start.size(); ++k) {
    fit.network.push_back({problem.rScale * Exp(gsl_vector_get(solution, 2 * k)),
                           problem.tScale * Exp(gsl_vector_get(solution, 2 * k + 1))});
  }
  fit.network = WithoutNegligibleTerms(Normalized(fit.network), curve);
  fit.largestRelativeError = LargestRelativeError(fit.network, curve);
  if (fit.network.empty() || !std::isfinite(fit.largestRelativeError)) return std::nullopt;
  return fit;
}

// Time constants spread evenly over the decades from lo to hi, the resistance shared equally.
FosterNetwork Spread(int terms, double lo, double hi, double total) {
  FosterNetwork network;
  for (int k = 0; k < terms; ++k) {
    const double share = terms == 1 ? 0.5 : static_cast<double>(k) / (terms - 1);
    network.push_back({total / terms, lo * std::pow(hi / lo, share)});
  }
  return network;
}

// Starts for n terms: spreads over the curve's decades (and somewhat inside and beyond them),
// and the best fit of n - 1 terms with one more term in each gap between its time constants.
std::vector<FosterNetwork> Starts(const Curve& curve, int terms, const FosterNetwork& fewer) {
  const double first = curve.front().time;
  const double last = curve.back().time;
  const double total = curve.back().zth;
  std::vector<FosterNetwork> starts;
  for (double widen : {1.0, 1.0 / 3, 3.0, 1.0 / 10}) {
    if (first * widen < last / widen) {
      starts.push_back(Spread(terms, first * widen, last / widen, total));
    }
  }
  if (!fewer.empty() && static_cast<int>(fewer.size()) + 1 == terms) {
    for (std::size_t gap = 0; gap <= fewer.size(); ++gap) {
      const double below = gap == 0 ? fewer[0].timeConstant / 30 : fewer[gap - 1].timeConstant;
      const double above =
          gap == fewer.size() ? fewer.back().timeConstant * 30 : fewer[gap].timeConstant;
      FosterNetwork start;
      for (const FosterTerm& term : fewer)
        start.push_back({term.resistance * 0.9, term.timeConstant});
      start.push_back({total * 0.1, std::sqrt(below * above)});
      starts.push_back(start);
    }
  }
  return starts;
}

std::optional<FosterFit> FitTerms(const Curve& curve, int terms, const FosterNetwork& fewer) {
  std::optional<FosterFit> best;
  for (const FosterNetwork& start : Starts(curve, terms, fewer)) {
    std::optional<FosterFit> fit = RunFrom(curve, start);
    if (fit && (!best || fit->largestRelativeError < best->largestRelativeError)) best = fit;
  }
  return best;
}

std::string TermsText(int terms) {
  return std::to_string(terms) + (terms == 1 ? " term" : " terms");
}

}  // namespace

FosterFit FitFoster(const Curve& curve, int terms,
                    const std::function<void(int terms, const FosterFit&)>& onTry) {
  const GslErrorGuard gslErrors;  // a failed start is dropped, never the end of the program
  const int points = static_cast<int>(curve.size());
  const int most = terms > 0 ? terms : std::min(kMaxFosterTerms, points / 2);
  if (most < 1 || points < 2 * most) {
    throw Failure(std::to_string(points) + (points == 1 ? " point is" : " points are") +
                  " fewer than the " + std::to_string(2 * std::max(most, 1)) +
                  " parameters (R and tau) of " + TermsText(std::max(most, 1)));
  }
  std::optional<FosterFit> best;
  FosterNetwork fewer;
  for (int n = 1; n <= most; ++n) {
    std::optional<FosterFit> fit = FitTerms(curve, n, fewer);
    fewer = fit ? fit->network : FosterNetwork{};
    if (!fit || (terms > 0 && n < terms)) continue;
    if (onTry) onTry(n, *fit);
    if (!best || fit->largestRelativeError < best->largestRelativeError) best = fit;
    if (terms == 0 && fit->largestRelativeError < kGoodFit) return *fit;
  }
  if (!best) throw Failure("the fit broke down: no start led to a finite result");
  return *best;
}

}  // namespace etherm
