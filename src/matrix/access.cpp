// Element, row, column and block access.

#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include "matrix/matrix_internal.hpp"

#include <algorithm>
#include <cstddef>

namespace orvik {
namespace {

// The bounds m_extract falls back on; a given bound replaces its value
// before any check, so a refused bound is still remembered. Each thread
// remembers its own.
thread_local std::int32_t remembered_row_first = 1;
thread_local std::int32_t remembered_row_last = 1;
thread_local std::int32_t remembered_col_first = 1;
thread_local std::int32_t remembered_col_last = 1;

bool outside(const t_matrix& m, std::int32_t i, std::int32_t j) { return i < 1 || i > m.rows || j < 1 || j > m.cols; }

}  // namespace

float m_get(const t_matrix& m, std::int32_t i, std::int32_t j) {
  detail::m_require_allocated(m, "m_get::matrix not allocated");
  if (outside(m, i, j)) detail::m_fail("m_get::matrix index nil or negative", 201);
  return detail::at(m, i, j);
}

void m_set(t_matrix& m, std::int32_t i, std::int32_t j, float value) {
  detail::m_require_allocated(m, "m_set::matrix not allocated");
  if (outside(m, i, j)) detail::m_fail("m_set::matrix size nil or negative", 201);
  detail::at(m, i, j) = value;
}

std::vector<float> m_getrow(const t_matrix& m, std::int32_t i) {
  detail::m_require_allocated(m, "m_getRow::matrix not allocated");
  if (i < 1 || i > m.rows) detail::m_fail("m_getRow::matrix index nil or negative", 201);
  std::vector<float> row = detail::work_buffer(m.cols, "m_getRow::allocate error");
  for (std::int32_t j = 1; j <= m.cols; ++j) row[static_cast<std::size_t>(j - 1)] = detail::at(m, i, j);
  return row;
}

std::vector<float> m_getcol(const t_matrix& m, std::int32_t j) {
  detail::m_require_allocated(m, "m_getCol::matrix not allocated");
  if (j < 1 || j > m.cols) detail::m_fail("m_getCol::matrix index nil or negative", 201);
  std::vector<float> col = detail::work_buffer(m.rows, "m_getCol::allocate error");
  std::copy_n(m.elements.begin() + static_cast<std::ptrdiff_t>(j - 1) * m.rows, m.rows, col.begin());
  return col;
}

std::vector<float> m_get_m(const t_matrix& m) {
  detail::m_require_allocated(m, "m_get_m::matrix not allocated");
  return detail::checked_copy(m, "m_get_m::allocate error").elements;
}

t_vector m_matrixtovector(const t_matrix& m) {
  detail::m_require_allocated(m, "m_matrixTOvector::matrix not allocated");
  t_vector result;
  v_init(result, m.rows * m.cols);
  for (std::int32_t r = 1; r <= m.rows; ++r) {
    for (std::int32_t c = 1; c <= m.cols; ++c) {
      result.elements[static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(m.cols) +
                      static_cast<std::size_t>(c - 1)] = detail::at(m, r, c);
    }
  }
  return result;
}

void detail::m_remember_extract_bounds(std::int32_t row_first, std::int32_t row_last, std::int32_t col_first,
                                       std::int32_t col_last) noexcept {
  remembered_row_first = row_first;
  remembered_row_last = row_last;
  remembered_col_first = col_first;
  remembered_col_last = col_last;
}

t_matrix m_extract(const t_matrix& m, std::optional<std::int32_t> row_first, std::optional<std::int32_t> row_last,
                   std::optional<std::int32_t> col_first, std::optional<std::int32_t> col_last) {
  if (row_first) remembered_row_first = *row_first;
  if (row_last) remembered_row_last = *row_last;
  if (col_first) remembered_col_first = *col_first;
  if (col_last) remembered_col_last = *col_last;
  // Without storage there is nothing to copy from; refuse it before the
  // bounds are compared with a shape that holds no elements.
  detail::m_require_allocated(m, "m_extract::matrix not allocated");
  const std::int32_t r1 = remembered_row_first;
  const std::int32_t r2 = remembered_row_last;
  const std::int32_t c1 = remembered_col_first;
  const std::int32_t c2 = remembered_col_last;
  if (r1 < 1 || r2 < 1 || c1 < 1 || c2 < 1) detail::m_fail("m_extract::positive boundary expected", 2001);
  if (r1 > m.rows || r2 > m.rows || c1 > m.cols || c2 > m.cols) {
    detail::m_fail("m_extract::inconsistent boundary", 2001);
  }
  t_matrix result;
  m_init(result, r2 - r1 + 1, c2 - c1 + 1);
  for (std::int32_t c = c1; c <= c2; ++c) {
    for (std::int32_t r = r1; r <= r2; ++r) detail::at(result, r - r1 + 1, c - c1 + 1) = detail::at(m, r, c);
  }
  return result;
}

void m_setsub(t_matrix& m, std::optional<std::int32_t> row_first, std::optional<std::int32_t> row_last,
              std::optional<std::int32_t> col_first, std::optional<std::int32_t> col_last, const t_matrix& m_sub) {
  const std::int32_t r1 = row_first.value_or(1);
  const std::int32_t r2 = row_last.value_or(m.rows);
  const std::int32_t c1 = col_first.value_or(1);
  const std::int32_t c2 = col_last.value_or(m.cols);
  if (!detail::is_allocated(m) || !detail::is_allocated(m_sub)) detail::m_fail("m_setsub::matrix not allocated", 2001);
  if (r1 < 1 || r2 < 1 || c1 < 1 || c2 < 1) detail::m_fail("m_setsub::positive boundary expected", 2001);
  if (r1 > m.rows || r2 > m.rows || c1 > m.cols || c2 > m.cols) {
    detail::m_fail("m_setsub::inconsistent boundary", 2001);
  }
  if (r2 - r1 + 1 != m_sub.rows || c2 - c1 + 1 != m_sub.cols) {
    detail::m_fail("m_setsub::inconsistent boundary between m and m_sub", 2001);
  }
  // m_sub can be m itself only when the block is the whole matrix, so the
  // copy never reads an element it has already overwritten.
  for (std::int32_t c = c1; c <= c2; ++c) {
    for (std::int32_t r = r1; r <= r2; ++r) detail::at(m, r, c) = detail::at(m_sub, r - r1 + 1, c - c1 + 1);
  }
}

void m_setsub(t_matrix& m, const t_matrix& m_sub) {
  m_setsub(m, std::nullopt, std::nullopt, std::nullopt, std::nullopt, m_sub);
}

}  // namespace orvik
