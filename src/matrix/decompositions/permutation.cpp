// Row and column pivoting ahead of a factorization.

#include <orvik/decompositions.hpp>

#include "matrix/decompositions/decompositions_internal.hpp"

#include <cmath>

namespace orvik {

t_m_and_p m_permut(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_permut::matrix not allocated");
  t_m_and_p result;
  result.M = detail::checked_copy(a, "m_permut::allocate error");
  if (!permute.value_or(false)) return result;
  result.P = m_identity(a.rows);
  t_matrix& m = result.M;
  // Every column is examined for every target row, so a row may move several
  // times and each move counts; the strict comparison keeps the lowest index
  // on ties and never picks (or displaces) a NaN.
  for (std::int32_t i = 1; i <= m.rows; ++i) {
    for (std::int32_t j = 1; j <= m.cols; ++j) {
      std::int32_t p = i;
      for (std::int32_t k = i + 1; k <= m.rows; ++k) {
        if (std::fabs(detail::at(m, k, j)) > std::fabs(detail::at(m, p, j))) p = k;
      }
      if (p != i) {
        detail::exchange_rows(m, i, p);
        detail::exchange_rows(result.P, i, p);
        ++result.nb_permut;
      }
    }
  }
  return result;
}

t_m_and_p m_permut_col(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_permut_col::matrix not allocated");
  t_m_and_p result;
  result.M = detail::checked_copy(a, "m_permut_col::allocate error");
  if (!permute.value_or(false)) return result;
  result.P = m_identity(a.cols);
  t_matrix& m = result.M;
  for (std::int32_t i = 1; i <= m.rows; ++i) {
    for (std::int32_t j = 1; j <= m.cols; ++j) {
      std::int32_t p = j;
      for (std::int32_t k = j + 1; k <= m.cols; ++k) {
        if (std::fabs(detail::at(m, i, k)) > std::fabs(detail::at(m, i, p))) p = k;
      }
      if (p != j) {
        detail::exchange_cols(m, j, p);
        detail::exchange_cols(result.P, j, p);
        ++result.nb_permut;
      }
    }
  }
  return result;
}

}  // namespace orvik
