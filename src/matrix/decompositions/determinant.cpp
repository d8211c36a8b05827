// The determinant front end and its LU and Cholesky routines (the
// Gauss-Jordan one lives with the elimination).

#include <orvik/decompositions.hpp>

#include "matrix/decompositions/decompositions_internal.hpp"

namespace orvik {
namespace {

float diagonal_product(const t_matrix& m) {
  const t_vector diagonal = m_diag(m);
  return v_prod(diagonal);
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
  m_destruct_m_and_p(f);
  return d;
}

float m_det_lu_all(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_det_lu_all::matrix not allocated");
  t_lu f = m_decomplu(a, permute);
  const float d = detail::with_permutation_sign(diagonal_product(f.U), permute, f.nb_permut);
  m_destruct_lu(f);
  return d;
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
