// The power method for the eigenvalue of largest magnitude.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace orvik {
namespace {

// The entry y is scaled by: the first one of largest magnitude among the
// numbers. When that largest magnitude is zero but some entry is not a
// number, or no entry is a number, it is the first entry that is not a
// number, so the NaN spreads instead of the vector passing for zero.
std::int32_t scaling_index(const t_vector& y) {
  std::int32_t k = 0;
  std::int32_t first_nan = 0;
  for (std::int32_t i = 1; i <= y.size; ++i) {
    const float v = detail::at(y, i);
    if (std::isnan(v)) {
      if (first_nan == 0) first_nan = i;
    } else if (k == 0 || std::fabs(v) > std::fabs(detail::at(y, k))) {
      k = i;
    }
  }
  if (first_nan != 0 && (k == 0 || detail::at(y, k) == 0.0f)) k = first_nan;
  return k;
}

// x scaled so that its first entry of largest magnitude is +1; a zero x is
// left as it is.
t_vector unit_peak(const t_vector& x) {
  const float peak = detail::at(x, scaling_index(x));
  if (peak == 0.0f) return detail::checked_copy(x, "m_pow_eig::allocate error");
  return v_div_scalar(x, peak);
}

}  // namespace

t_poweig m_pow_eig(const t_matrix& a, const std::optional<t_vector>& x0, std::optional<float> tol,
                   std::optional<std::int32_t> maxiter) {
  detail::m_require_allocated(a, "m_pow_eig::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_pow_eig:: square matrix expected", 202);
  const std::int32_t n = a.rows;
  t_vector x;
  if (x0) {
    x = detail::checked_copy(*x0, "m_pow_eig::allocate error");
  } else {
    v_init(x, n);
    v_affect(x, 1.0f);
  }
  const float tolerance = tol ? *tol : math_machine_eps();
  const std::int32_t limit = maxiter ? *maxiter : 100 * std::max(a.rows, a.cols);

  std::vector<float> residuals;
  bool converged = false;
  float eigval = 0.0f;
  std::int32_t p = 1;

  // Scaling by the signed entry makes that entry of x +1, so a negative
  // dominant eigenvalue settles like a positive one and eigval keeps its
  // sign. A zero product means x is an eigenvector for 0: the iteration ends
  // there, that pass recorded with residual 0 (the initial step counting as
  // pass 1).
  t_vector y = m_prod_vec_c(a, x);
  std::int32_t k = scaling_index(y);
  if (detail::at(y, k) == 0.0f) {
    x = unit_peak(x);
    detail::checked_append(residuals, 0.0f, "m_pow_eig::allocate error");
    converged = true;
    p = 2;
  } else {
    eigval = detail::at(y, k);
    x = v_div_scalar(y, eigval);
  }
  while (p < limit && !converged) {
    y = m_prod_vec_c(a, x);
    k = scaling_index(y);
    if (detail::at(y, k) == 0.0f) {
      x = unit_peak(x);
      eigval = 0.0f;
      detail::checked_append(residuals, 0.0f, "m_pow_eig::allocate error");
      converged = true;
    } else {
      eigval = detail::at(y, k);
      x = v_div_scalar(y, eigval);
      const t_vector ax = m_prod_vec_c(a, x);
      const t_vector r = v_minus(ax, y);
      const float e = v_norm(r, 0);
      detail::checked_append(residuals, e, "m_pow_eig::allocate error");
      // Only a residual above tol goes on, so a NaN residual ends as converged.
      if (!(e > tolerance)) converged = true;
    }
    ++p;
  }

  t_poweig result;
  result.eigval = eigval;
  result.eigvec = std::move(x);
  result.nb_iter = p - 1;
  v_init(result.errors, result.nb_iter);
  std::copy(residuals.begin(), residuals.end(), result.errors.elements.begin());
  if (!converged) detail::m_fail("m_pow_eig::power eig method diverge", 301);
  return result;
}

}  // namespace orvik
