#include "thermal/loop_gain.h"

#include <gsl/gsl_complex_math.h>
#include <gsl/gsl_eigen.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>

#include <algorithm>
#include <cmath>

namespace etherm {

namespace {

// Below this the simulator's own rounding decides the quotient.
constexpr double kSmallestStep = 1e-3;  // K

double OwnResistance(const ThermalNetwork& network, std::size_t i) {
  double r = i < network.ownResistance.size() ? network.ownResistance[i] : 0;
  if (i < network.pair.size() && i < network.pair[i].size()) r += network.pair[i][i].resistance;
  return r;
}

}  // namespace

double NetworkResistance(const ThermalNetwork& network, int i, int j) {
  const auto a = static_cast<std::size_t>(i - 1);
  const auto b = static_cast<std::size_t>(j - 1);
  if (i == j) return OwnResistance(network, a);
  return a < network.pair.size() && b < network.pair[a].size() ? network.pair[a][b].resistance : 0;
}

std::optional<double> PowerSlope(double t0, double p0, double t1, double p1) {
  if (std::fabs(t1 - t0) < kSmallestStep) return std::nullopt;
  const double slope = (p1 - p0) / (t1 - t0);
  if (!std::isfinite(slope)) return std::nullopt;
  return slope;
}

LoopGain LargestLoopGain(const ThermalNetwork& network, const std::vector<double>& slopes) {
  const std::size_t n = slopes.size();
  LoopGain result;
  if (n == 0) return result;
  if (n == 1) {
    result.gain = OwnResistance(network, 0) * slopes[0];
    result.devices = {1};
    return result;
  }
  gsl_matrix* m = gsl_matrix_alloc(n, n);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      const double r = i == j ? OwnResistance(network, i)
                              : (i < network.pair.size() && j < network.pair[i].size()
                                     ? network.pair[i][j].resistance
                                     : 0);
      gsl_matrix_set(m, i, j, r * slopes[j]);
    }
  }
  gsl_vector_complex* values = gsl_vector_complex_alloc(n);
  gsl_matrix_complex* vectors = gsl_matrix_complex_alloc(n, n);
  gsl_eigen_nonsymmv_workspace* work = gsl_eigen_nonsymmv_alloc(n);
  // An unconverged eigenproblem leaves the gain unknown; it must not end the program.
  gsl_error_handler_t* handler = gsl_set_error_handler_off();
  const int status = gsl_eigen_nonsymmv(m, values, vectors, work);
  gsl_set_error_handler(handler);
  if (status == 0) {
    std::size_t best = 0;
    for (std::size_t k = 1; k < n; ++k) {
      if (GSL_REAL(gsl_vector_complex_get(values, k)) >
          GSL_REAL(gsl_vector_complex_get(values, best))) {
        best = k;
      }
    }
    result.gain = GSL_REAL(gsl_vector_complex_get(values, best));
    // A device carries the mode when its share of the eigenvector is not negligible.
    double largest = 0;
    std::vector<double> share(n);
    for (std::size_t i = 0; i < n; ++i) {
      share[i] = gsl_complex_abs(gsl_matrix_complex_get(vectors, i, best));
      largest = std::max(largest, share[i]);
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (share[i] >= 0.3 * largest) result.devices.push_back(static_cast<int>(i + 1));
    }
  }
  gsl_eigen_nonsymmv_free(work);
  gsl_matrix_complex_free(vectors);
  gsl_vector_complex_free(values);
  gsl_matrix_free(m);
  return result;
}

std::vector<std::optional<double>> OwnMargins(const ThermalNetwork& network,
                                              const std::vector<std::optional<double>>& slopes) {
  std::vector<std::optional<double>> margins(slopes.size());
  for (std::size_t i = 0; i < slopes.size(); ++i) {
    if (slopes[i]) margins[i] = 1 - OwnResistance(network, i) * *slopes[i];
  }
  return margins;
}

}  // namespace etherm
