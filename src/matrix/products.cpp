// Matrix-vector and matrix-matrix products; the loops themselves are the
// kernels' (src/kernels).

#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include "kernels/kernels.hpp"
#include "matrix/matrix_internal.hpp"

#include <string_view>

namespace orvik {

namespace {

// m_prod_vec1 and m_prod_vec_c: the same checks under their own names, and
// the same product (one kernel, so the same bits).
t_vector matrix_times_vector(const t_matrix& m, const t_vector& v, std::string_view not_allocated,
                             std::string_view mismatch) {
  if (!detail::is_allocated(m) || !detail::is_allocated(v)) detail::m_fail(not_allocated, 2001);
  if (m.cols != v.size) detail::m_fail(mismatch, 202);
  t_vector result;
  v_init(result, m.rows);
  kernels::prod_vec(m.elements.data(), v.elements.data(), result.elements.data(), m.rows, m.cols);
  return result;
}

}  // namespace

t_vector m_prod_vec1(const t_matrix& m, const t_vector& v) {
  return matrix_times_vector(m, v, "m_prod_vec1::matrix not allocated",
                             "m_prod_vec1::The number cols of the first matrix must be equal to vector size");
}

t_vector m_prod_vec_c(const t_matrix& m, const t_vector& v) {
  return matrix_times_vector(m, v, "m_prod_vec_c::matrix not allocated",
                             "m_prod_vec_c::The number cols of the first matrix must be equal to vector size");
}

t_vector m_prod_vec2(const t_vector& v, const t_matrix& m) {
  if (!detail::is_allocated(m) || !detail::is_allocated(v)) detail::m_fail("m_prod_vec2::matrix not allocated", 2001);
  if (v.size != m.rows) detail::m_fail("m_prod_vec2::matrix size must be equal to matrix row", 202);
  t_vector result;
  v_init(result, m.cols);
  kernels::prod_vec_left(v.elements.data(), m.elements.data(), result.elements.data(), m.rows, m.cols);
  return result;
}

t_matrix m_prod_mat(const t_matrix& m1, const t_matrix& m2) {
  if (!detail::is_allocated(m1) || !detail::is_allocated(m2)) detail::m_fail("m_prod_mat::matrix not allocated", 2001);
  if (m1.cols != m2.rows) {
    // 101 characters: the message buffer keeps the first 100.
    detail::m_fail(
        "m_prod_mat::The number cols of the first matrix must be equal to the number rows of the second matrix", 202);
  }
  t_matrix result;
  m_init(result, m1.rows, m2.cols);
  kernels::prod_mat(m1.elements.data(), m2.elements.data(), result.elements.data(), m1.rows, m1.cols, m2.cols);
  return result;
}

}  // namespace orvik
