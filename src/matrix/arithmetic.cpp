// Transpose and the elementwise arithmetic of matrices.

#include <orvik/matrix.hpp>

#include "matrix/matrix_internal.hpp"

#include <cstddef>

namespace orvik {
namespace {

// A result of the shape of `m`, made through m_init so the remembered sizes
// follow it.
t_matrix shaped_like(const t_matrix& m) {
  t_matrix result;
  m_init(result, m.rows, m.cols);
  return result;
}

template <typename Op>
t_matrix elementwise(const t_matrix& m1, const t_matrix& m2, std::string_view unallocated, std::string_view mismatch,
                     Op op) {
  if (!detail::is_allocated(m1) || !detail::is_allocated(m2)) detail::m_fail(unallocated, 2001);
  if (m1.rows != m2.rows || m1.cols != m2.cols) detail::m_fail(mismatch, 202);
  t_matrix result = shaped_like(m1);
  for (std::size_t t = 0; t < result.elements.size(); ++t) result.elements[t] = op(m1.elements[t], m2.elements[t]);
  return result;
}

t_matrix scaled(const t_matrix& m, float value) {
  t_matrix result = shaped_like(m);
  for (std::size_t t = 0; t < result.elements.size(); ++t) result.elements[t] = value * m.elements[t];
  return result;
}

}  // namespace

t_matrix m_trans(const t_matrix& m) {
  detail::m_require_allocated(m, "m_trans::matrix not allocated");
  t_matrix result;
  m_init(result, m.cols, m.rows);
  for (std::int32_t j = 1; j <= m.cols; ++j) {
    for (std::int32_t i = 1; i <= m.rows; ++i) detail::at(result, j, i) = detail::at(m, i, j);
  }
  return result;
}

t_matrix m_add(const t_matrix& m1, const t_matrix& m2) {
  return elementwise(m1, m2, "m_add::matrix not allocated", "m_add::matrices are not the same size",
                     [](float x, float y) { return x + y; });
}

t_matrix m_minus(const t_matrix& m1, const t_matrix& m2) {
  return elementwise(m1, m2, "m_minus::matrix not allocated", "m_minus::matrices are not the same size",
                     [](float x, float y) { return x - y; });
}

t_matrix m_div_scalar(const t_matrix& m, float value) {
  detail::m_require_allocated(m, "m_div_scalar::matrix not allocated");
  // Exact comparison: both signed zeros are refused, NaN and the tiniest
  // non-zero values divide.
  if (value == 0.0f) detail::m_fail("m_div_scalar::can not divide by zero", 101);
  t_matrix result = shaped_like(m);
  for (std::size_t t = 0; t < result.elements.size(); ++t) result.elements[t] = m.elements[t] / value;
  return result;
}

t_matrix m_prod_scalar1(float value, const t_matrix& m) {
  detail::m_require_allocated(m, "m_prod_scalar1::matrix not allocated");
  return scaled(m, value);
}

t_matrix m_prod_scalar2(const t_matrix& m, float value) {
  detail::m_require_allocated(m, "m_prod_scalar2::matrix not allocated");
  return scaled(m, value);
}

}  // namespace orvik
