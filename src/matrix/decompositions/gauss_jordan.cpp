// Gauss-Jordan elimination with partial pivoting: inverse, determinant and
// rank. The tolerance is the absolute machine epsilon, not scaled by A.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/matrix_internal.hpp"

#include <optional>
#include <utility>

namespace orvik {

std::optional<t_matrix> detail::try_inverse_gaussj(const t_matrix& a) {
  const std::int32_t n = a.rows;
  t_matrix x = m_identity(n);
  t_matrix t = detail::checked_copy(a, "m_inverse_gaussj::allocate error");
  if (!kernels::gauss_jordan_inverse(t.elements.data(), x.elements.data(), n, math_machine_eps())) return std::nullopt;
  return x;
}

t_matrix m_inverse_gaussj(const t_matrix& a) {
  detail::m_require_allocated(a, "m_inverse_gaussj::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_inverse_gaussj::square matrix expected", 202);
  std::optional<t_matrix> x = detail::try_inverse_gaussj(a);
  if (!x) detail::m_fail("m_inverse_gaussj::matrix is close to singular or badly scaled", 300);
  return std::move(*x);
}

float m_det_gaussj(const t_matrix& a) {
  detail::m_require_allocated(a, "m_det_gaussj::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_det_gaussj::square matrix expected", 202);
  t_matrix t = detail::checked_copy(a, "m_det_gaussj::allocate error");
  const float d = kernels::gauss_jordan_det(t.elements.data(), a.rows, math_machine_eps());
  m_destruct(t);
  return d;
}

std::int32_t m_rank_gaussj(const t_matrix& a) {
  detail::m_require_allocated(a, "m_rank_gaussj::matrix not allocated");
  t_matrix t = detail::checked_copy(a, "m_rank_gaussj::allocate error");
  // Row echelon form: the pivot row moves on only when a column yields a
  // pivot, so a pivot-free column does not use up a diagonal position, and
  // the rank is the number of pivots found.
  const std::int32_t rank = kernels::gauss_jordan_rank(t.elements.data(), t.rows, t.cols, math_machine_eps());
  m_destruct(t);
  return rank;
}

}  // namespace orvik
