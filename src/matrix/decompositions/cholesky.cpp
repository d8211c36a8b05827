// Cholesky decomposition, outer-product form, on a working copy of the
// (possibly row-reordered) input. Only the lower triangle is read.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/kernels.hpp"
#include "matrix/matrix_internal.hpp"

#include <cmath>

namespace orvik {
namespace {

// Every pivot is tested before its square root is taken, the first one too;
// written as !(w > eps) so that a NaN pivot is refused as well.
void require_pivot(float w, float eps) {
  if (!(w > eps)) detail::m_fail("m_decompCholesky::matrix is not positive definite", 304);
}

}  // namespace

t_m_and_p m_decompcholesky(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompCholesky::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_decompCholesky:: square matrix expected", 202);
  const float eps = math_machine_eps();
  t_m_and_p result = m_permut(a, permute);
  t_matrix& m = result.M;
  const std::int32_t n = m.rows;
  // A matrix without elements has nothing to factor (and no pivot to read).
  if (n == 0) return result;
  t_matrix w = detail::checked_copy(m, "m_decompCholesky::allocate error");
  m_affect(m, 0.0f);
  // No update reaches the first pivot, so it is tested here; each later one
  // is tested after every update of it, the one at k = j - 1 last.
  require_pivot(detail::at(w, 1, 1), eps);
  for (std::int32_t k = 1; k <= n - 1; ++k) {
    detail::at(m, k, k) = std::sqrt(detail::at(w, k, k));
    for (std::int32_t i = k + 1; i <= n; ++i) detail::at(m, i, k) = detail::at(w, i, k) / detail::at(m, k, k);
    for (std::int32_t j = k + 1; j <= n; ++j) {
      // Column j from its diagonal down: W(i, j) -= M(i, k) * M(j, k). The
      // diagonal is the first entry updated; testing it after the whole
      // column changes nothing a caller sees, since a failure ends the call.
      kernels::subtract_scaled(&detail::at(w, j, j), 1, detail::at(m, j, k), &detail::at(m, j, k), 1, n - j + 1);
      require_pivot(detail::at(w, j, j), eps);
    }
  }
  detail::at(m, n, n) = std::sqrt(detail::at(w, n, n));
  m_destruct(w);
  return result;
}

}  // namespace orvik
