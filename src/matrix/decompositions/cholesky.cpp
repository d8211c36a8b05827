// Cholesky decomposition, outer-product form, on a working copy of the
// (possibly row-reordered) input. Only the lower triangle is read.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/kernels.hpp"
#include "matrix/matrix_internal.hpp"

namespace orvik {

t_m_and_p m_decompcholesky(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompCholesky::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_decompCholesky:: square matrix expected", 202);
  const float eps = math_machine_eps();
  t_m_and_p result = m_permut(a, permute);
  t_matrix& m = result.M;
  const std::int32_t n = m.rows;
  // A matrix without elements has nothing to factor (and no pivot to read).
  if (n == 0) return result;
  // Every pivot is tested, the first one too, and a NaN pivot is refused.
  t_matrix w = detail::checked_copy(m, "m_decompCholesky::allocate error");
  if (!kernels::cholesky(w.elements.data(), n, eps)) {
    detail::m_fail("m_decompCholesky::matrix is not positive definite", 304);
  }
  for (std::int32_t j = 1; j <= n; ++j) {
    for (std::int32_t i = 1; i <= n; ++i) detail::at(m, i, j) = i >= j ? detail::at(w, i, j) : 0.0f;
  }
  m_destruct(w);
  return result;
}

}  // namespace orvik
