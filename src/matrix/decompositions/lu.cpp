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
  // The compact form holds exactly the numbers of L and U.
  kernels::lu(w.elements.data(), r, c);
  for (std::int32_t j = 1; j <= c; ++j) {
    for (std::int32_t i = 1; i <= r; ++i) {
      if (j < i) {
        detail::at(result.L, i, j) = detail::at(w, i, j);
      } else if (i <= m) {
        detail::at(result.U, i, j) = detail::at(w, i, j);
      }
    }
  }
  for (std::int32_t i = 1; i <= m; ++i) detail::at(result.L, i, i) = 1.0f;
  m_destruct(w);
  return result;
}

t_m_and_p m_decomplu_m(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompLU_m::matrix not allocated");
  t_m_and_p result = m_permut(a, permute);
  kernels::lu(result.M.elements.data(), result.M.rows, result.M.cols);
  return result;
}

}  // namespace orvik
