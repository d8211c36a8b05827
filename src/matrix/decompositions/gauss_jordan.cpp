// Gauss-Jordan elimination with partial pivoting: inverse, determinant and
// rank. The tolerance is the absolute machine epsilon, not scaled by A.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/kernels.hpp"
#include "matrix/matrix_internal.hpp"

namespace orvik {

t_matrix m_inverse_gaussj(const t_matrix& a) {
  detail::m_require_allocated(a, "m_inverse_gaussj::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_inverse_gaussj::square matrix expected", 202);
  const std::int32_t n = a.rows;
  t_matrix x = m_identity(n);
  t_matrix t = detail::checked_copy(a, "m_inverse_gaussj::allocate error");
  const float eps = math_machine_eps();
  if (!kernels::gauss_jordan_inverse(t.elements.data(), x.elements.data(), n, eps)) {
    detail::m_fail("m_inverse_gaussj::matrix is close to singular or badly scaled", 300);
  }
  m_destruct(t);
  return x;
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
