#include "analysis/dc_acceleration.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>

#include <cmath>

#include "thermal/loop_gain.h"

namespace etherm {

namespace {

constexpr double kRelaxation = 0.5;
// A Newton step longer than this many plain corrections rests on a slope too uncertain to use.
constexpr double kLongestStep = 20;
// Temperatures a step may not leave: below it the simulator refuses the device.
constexpr double kColdest = 1;  // K

}  // namespace

void DcStep::NoteSlope(int device, double slope) {
  slopes_[static_cast<std::size_t>(device)] = slope;
}

void DcStep::Next(const Problem& problem, DeviceTable<double>& given,
                  const DeviceTable<double>& computed) const {
  if (accelerate_) {
    if (const auto next = NewtonStep(problem, given, computed)) {
      given = *next;
      return;
    }
  }
  for (int i = 1; i <= kMaxDevices; ++i) given[i] = (computed[i] + given[i]) * kRelaxation;
}

std::optional<DeviceTable<double>> DcStep::NewtonStep(const Problem& problem,
                                                      const DeviceTable<double>& given,
                                                      const DeviceTable<double>& computed) const {
  const int n = problem.deviceCount();
  if (n < 1) return std::nullopt;
  std::vector<double> slopes;
  for (int i = 1; i <= n; ++i) {
    if (!slopes_[static_cast<std::size_t>(i)]) return std::nullopt;
    slopes.push_back(*slopes_[static_cast<std::size_t>(i)]);
  }
  const ThermalNetwork& network = problem.network;
  // At or past the fold the fixed point the step aims for is not the stable one.
  if (LargestLoopGain(network, slopes).gain >= 1) return std::nullopt;

  // (I - M·diag(s)) d = computed - given
  gsl_matrix* a = gsl_matrix_alloc(static_cast<std::size_t>(n), static_cast<std::size_t>(n));
  gsl_vector* r = gsl_vector_alloc(static_cast<std::size_t>(n));
  gsl_vector* d = gsl_vector_alloc(static_cast<std::size_t>(n));
  gsl_permutation* p = gsl_permutation_alloc(static_cast<std::size_t>(n));
  double largestResidual = 0;
  for (int i = 1; i <= n; ++i) {
    const auto row = static_cast<std::size_t>(i - 1);
    gsl_vector_set(r, row, computed[i] - given[i]);
    largestResidual = std::max(largestResidual, std::fabs(computed[i] - given[i]));
    for (int j = 1; j <= n; ++j) {
      gsl_matrix_set(a, row, static_cast<std::size_t>(j - 1),
                     (i == j ? 1.0 : 0.0) - NetworkResistance(network, i, j) * slopes[j - 1]);
    }
  }
  gsl_error_handler_t* handler = gsl_set_error_handler_off();
  int sign = 0;
  bool usable = gsl_linalg_LU_decomp(a, p, &sign) == 0 &&
                std::fabs(gsl_linalg_LU_det(a, sign)) > 1e-9 &&
                gsl_linalg_LU_solve(a, p, r, d) == 0;
  gsl_set_error_handler(handler);

  DeviceTable<double> next = given;
  for (int i = 1; usable && i <= n; ++i) {
    const double step = gsl_vector_get(d, static_cast<std::size_t>(i - 1));
    next[i] = given[i] + step;
    if (!std::isfinite(next[i]) || std::fabs(step) > kLongestStep * largestResidual + 1 ||
        next[i] < kColdest) {
      usable = false;
    }
  }
  gsl_permutation_free(p);
  gsl_vector_free(d);
  gsl_vector_free(r);
  gsl_matrix_free(a);
  if (!usable) return std::nullopt;
  return next;
}

}  // namespace etherm
