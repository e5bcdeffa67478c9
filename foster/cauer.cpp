#include "foster/cauer.h"

#include <gsl/gsl_eigen.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <cmath>
#include <memory>
#include <string>

#include "foster/gsl_errors.h"
#include "textio/failure.h"

namespace etherm {

namespace {

struct MatrixFree {
  void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
};
struct VectorFree {
  void operator()(gsl_vector* v) const { gsl_vector_free(v); }
};
struct WorkspaceFree {
  void operator()(gsl_eigen_symmv_workspace* w) const { gsl_eigen_symmv_free(w); }
};

}  // namespace

FosterNetwork CauerToFoster(const std::vector<CauerStage>& ladder) {
  const std::size_t n = ladder.size();
  if (n == 0) return {};
  if (n > kMaxCauerStages) {
    throw Failure("a Cauer ladder of " + std::to_string(n) + " stages is more than the " +
                  std::to_string(kMaxCauerStages) +
                  " etherm-foster converts (its work grows with the cube of the stages)");
  }
  const GslErrorGuard gslErrors;
  // With A = C^-1/2 G C^-1/2 = Q L Q^T (symmetric), Z(s) = e1^T (sC + G)^-1 e1
  // = sum_k (Q_1k^2 / C_1) / (s + L_k): term k has tau = 1 / L_k and R = Q_1k^2 / (C_1 L_k).
  std::unique_ptr<gsl_matrix, MatrixFree> a(gsl_matrix_calloc(n, n));
  if (!a) throw Failure("the Cauer ladder's matrix cannot be made: " + gslErrors.Reason());
  for (std::size_t i = 0; i < n; ++i) {
    const double scale = 1 / std::sqrt(ladder[i].capacitance);
    double g = 1 / ladder[i].resistance;
    if (i > 0) g += 1 / ladder[i - 1].resistance;
    gsl_matrix_set(a.get(), i, i, g * scale * scale);
    if (i + 1 < n) {
      const double off = -scale / std::sqrt(ladder[i + 1].capacitance) / ladder[i].resistance;
      gsl_matrix_set(a.get(), i, i + 1, off);
      gsl_matrix_set(a.get(), i + 1, i, off);
    }
  }
  std::unique_ptr<gsl_vector, VectorFree> eigenvalues(gsl_vector_alloc(n));
  std::unique_ptr<gsl_matrix, MatrixFree> eigenvectors(gsl_matrix_alloc(n, n));
  std::unique_ptr<gsl_eigen_symmv_workspace, WorkspaceFree> work(gsl_eigen_symmv_alloc(n));
  if (!eigenvalues || !eigenvectors || !work) {
    throw Failure("the Cauer ladder's time constants cannot be computed: " + gslErrors.Reason());
  }
  if (gsl_eigen_symmv(a.get(), eigenvalues.get(), eigenvectors.get(), work.get()) != GSL_SUCCESS) {
    throw Failure("the Cauer ladder's time constants could not be computed: " + gslErrors.Reason());
  }
  FosterNetwork network;
  for (std::size_t k = 0; k < n; ++k) {
    const double lambda = gsl_vector_get(eigenvalues.get(), k);
    const double q = gsl_matrix_get(eigenvectors.get(), 0, k);
    if (!(lambda > 0)) throw Failure("the Cauer ladder's time constants could not be computed");
    network.push_back({q * q / (ladder[0].capacitance * lambda), 1 / lambda});
  }
  return Normalized(network);
}

}  // namespace etherm
