// The determinant front end and its LU and Cholesky routines (the
// Gauss-Jordan one lives with the elimination).

#include <orvik/decompositions.hpp>

#include "matrix/decompositions/decompositions_internal.hpp"

#include <algorithm>
#include <cmath>

namespace orvik {
namespace {

float diagonal_product(const t_matrix& m) {
  const t_vector diagonal = m_diag(m);
  return v_prod(diagonal);
}

bool has_zero_on_diagonal(const t_matrix& m) {
  for (std::int32_t k = 1; k <= std::min(m.rows, m.cols); ++k) {
    if (detail::at(m, k, k) == 0.0f) return true;
  }
  return false;
}

// The elimination without pivoting breaks down on a zero pivot (the next
// steps divide by it) even when A is well conditioned: a NaN, an infinity
// or a false zero would be returned. Where that happens on a finite A, the
// determinant is that of LU with partial pivoting instead -- m_solve's
// elimination, its pivots multiplied in order, the sign of its exchanges
// applied last. It leaves no remembered size or bound behind.
float rescued_lu_determinant(float d, const t_matrix& u, const t_matrix& a, std::string_view allocate_error) {
  if ((std::isfinite(d) && !has_zero_on_diagonal(u)) || !detail::all_finite(a)) return d;
  t_matrix w = detail::checked_copy(a, allocate_error);
  const std::int32_t exchanges = detail::eliminate_with_partial_pivoting(w, nullptr, 0, {});
  float p = 1.0f;
  for (std::int32_t k = 1; k <= w.rows; ++k) p = detail::at(w, k, k) * p;
  return exchanges % 2 != 0 ? -p : p;
}

}  // namespace

float m_det(const t_matrix& a, std::optional<std::string_view> method, std::optional<bool> permute) {
  if (detail::method_is(method, "lu")) return m_det_lu(a, permute);
  if (detail::method_is(method, "chol")) return m_det_chol(a, permute);
  return m_det_gaussj(a);
}

float m_det_lu(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_det_lu::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_det_lu::square matrix expected", 202);
  t_m_and_p f = m_decomplu_m(a, permute);
  const float d = detail::with_permutation_sign(diagonal_product(f.M), permute, f.nb_permut);
  const float sound = rescued_lu_determinant(d, f.M, a, "m_det_lu::allocate error");
  m_destruct_m_and_p(f);
  return sound;
}

float m_det_lu_all(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_det_lu_all::matrix not allocated");
  t_lu f = m_decomplu(a, permute);
  const float d = detail::with_permutation_sign(diagonal_product(f.U), permute, f.nb_permut);
  const float sound = a.rows == a.cols ? rescued_lu_determinant(d, f.U, a, "m_det_lu_all::allocate error") : d;
  m_destruct_lu(f);
  return sound;
}

float m_det_chol(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_det_chol::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_det_chol::square matrix expected", 202);
  t_m_and_p f = m_decompcholesky(a, permute);
  const float p = diagonal_product(f.M);
  const float d = detail::with_permutation_sign(p * p, permute, f.nb_permut);
  m_destruct_m_and_p(f);
  return d;
}

}  // namespace orvik
