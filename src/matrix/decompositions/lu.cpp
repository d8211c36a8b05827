// LU decomposition by the Doolittle recurrence, row by row, in the separate
// (L, U, P) and the compact (one matrix) forms. Pivots are not tested: a zero
// pivot gives IEEE infinities and NaNs, not an error.

#include <orvik/decompositions.hpp>

#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/matrix_internal.hpp"

#include <algorithm>

namespace orvik {

t_lu m_decomplu(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompLU::matrix not allocated");
  const std::int32_t r = a.rows;
  const std::int32_t c = a.cols;
  const std::int32_t m = std::min(r, c);
  t_lu result;
  // U is made last, so m_init remembers its shape.
  m_init(result.L, r, m);
  m_init(result.U, m, c);
  t_matrix w = detail::pivoted_copy(a, permute, result.P, result.nb_permut);
  t_matrix& l = result.L;
  t_matrix& u = result.U;
  for (std::int32_t i = 1; i <= r; ++i) {
    for (std::int32_t j = 1; j <= c; ++j) {
      // L(i, k) runs along row i of L (stride r), U(k, j) down column j of U.
      // The product order matches the compact form's, so both give the same bits.
      const std::int32_t terms = std::min(i, j) - 1;
      const float s = terms > 0 ? kernels::subtract_products(detail::at(w, i, j), &detail::at(l, i, 1), r,
                                                             &detail::at(u, 1, j), 1, terms)
                                : detail::at(w, i, j);
      if (j < i) {
        detail::at(l, i, j) = s / detail::at(u, j, j);
      } else {
        detail::at(u, i, j) = s;
      }
    }
  }
  for (std::int32_t i = 1; i <= m; ++i) detail::at(l, i, i) = 1.0f;
  m_destruct(w);
  return result;
}

t_m_and_p m_decomplu_m(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompLU_m::matrix not allocated");
  t_m_and_p result = m_permut(a, permute);
  t_matrix& mm = result.M;
  const std::int32_t r = mm.rows;
  for (std::int32_t i = 1; i <= r; ++i) {
    for (std::int32_t j = 1; j <= mm.cols; ++j) {
      const std::int32_t terms = std::min(i, j) - 1;
      float s = terms > 0 ? kernels::subtract_products(detail::at(mm, i, j), &detail::at(mm, i, 1), r,
                                                       &detail::at(mm, 1, j), 1, terms)
                          : detail::at(mm, i, j);
      if (j < i) s = s / detail::at(mm, j, j);
      detail::at(mm, i, j) = s;
    }
  }
  return result;
}

}  // namespace orvik
