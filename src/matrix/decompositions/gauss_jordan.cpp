// Gauss-Jordan elimination with partial pivoting: inverse, determinant and
// rank. The tolerance is the absolute machine epsilon, not scaled by A.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace orvik {
namespace {

// The row p in first .. rows(t) with the largest |t(p, col)|; strict, so the
// lowest row wins ties and a NaN is never chosen over the current row.
std::int32_t pivot_row(const t_matrix& t, std::int32_t first, std::int32_t col) {
  std::int32_t p = first;
  for (std::int32_t i = first + 1; i <= t.rows; ++i) {
    if (std::fabs(detail::at(t, i, col)) > std::fabs(detail::at(t, p, col))) p = i;
  }
  return p;
}

void scale_row(t_matrix& t, std::int32_t k, float r) {
  for (std::int32_t j = 1; j <= t.cols; ++j) detail::at(t, k, j) = detail::at(t, k, j) * r;
}

// Row i of t minus f times row k of t, all columns.
void eliminate_row(t_matrix& t, std::int32_t i, std::int32_t k, float f) {
  kernels::subtract_scaled(&detail::at(t, i, 1), t.rows, f, &detail::at(t, k, 1), t.rows, t.cols);
}

}  // namespace

t_matrix m_inverse_gaussj(const t_matrix& a) {
  detail::m_require_allocated(a, "m_inverse_gaussj::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_inverse_gaussj::square matrix expected", 202);
  const std::int32_t n = a.rows;
  t_matrix x = m_identity(n);
  t_matrix t = a;
  const float eps = math_machine_eps();
  for (std::int32_t k = 1; k <= n; ++k) {
    const std::int32_t p = pivot_row(t, k, k);
    if (std::fabs(detail::at(t, p, k)) <= eps)
      detail::m_fail("m_inverse_gaussj::matrix is close to singular or badly scaled", 300);
    if (p != k) {
      detail::exchange_rows(t, k, p);
      detail::exchange_rows(x, k, p);
    }
    const float r = 1.0f / detail::at(t, k, k);
    scale_row(t, k, r);
    scale_row(x, k, r);
    for (std::int32_t i = 1; i <= n; ++i) {
      if (i == k) continue;
      const float f = detail::at(t, i, k);
      eliminate_row(t, i, k, f);
      eliminate_row(x, i, k, f);
    }
  }
  m_destruct(t);
  return x;
}

float m_det_gaussj(const t_matrix& a) {
  detail::m_require_allocated(a, "m_det_gaussj::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_det_gaussj::square matrix expected", 202);
  const std::int32_t n = a.rows;
  t_matrix t = a;
  float d = 1.0f;
  const float eps = math_machine_eps();
  for (std::int32_t k = 1; k <= n; ++k) {
    const std::int32_t p = pivot_row(t, k, k);
    if (std::fabs(detail::at(t, p, k)) <= eps) {
      d = 0.0f;
      break;
    }
    if (p != k) {
      detail::exchange_rows(t, k, p);
      d = -d;
    }
    const float r = 1.0f / detail::at(t, k, k);
    scale_row(t, k, r);
    // The pivot enters as the quotient by its rounded reciprocal.
    d = d / r;
    for (std::int32_t i = 1; i <= n; ++i) {
      if (i != k) eliminate_row(t, i, k, detail::at(t, i, k));
    }
  }
  m_destruct(t);
  return d;
}

std::int32_t m_rank_gaussj(const t_matrix& a) {
  detail::m_require_allocated(a, "m_rank_gaussj::matrix not allocated");
  const float eps = math_machine_eps();
  const std::int32_t rows = a.rows;
  const std::int32_t cols = a.cols;
  // Row echelon form on a row-major copy, so that the row operations run
  // along contiguous storage. Only the columns right of the pivot column are
  // updated: that column and the ones left of it are never read again, so
  // the pivots found are those of the elimination of whole rows.
  std::vector<float> t(a.elements.size());
  const auto entry = [&t, cols](std::int32_t i, std::int32_t j) -> float& {
    return t[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(j - 1)];
  };
  for (std::int32_t j = 1; j <= cols; ++j) {
    for (std::int32_t i = 1; i <= rows; ++i) entry(i, j) = detail::at(a, i, j);
  }
  // The pivot row moves on only when a column yields a pivot, so a
  // pivot-free column does not use up a diagonal position, and the rank is
  // the number of pivots found.
  std::int32_t rank = 0;
  std::int32_t row = 1;
  for (std::int32_t col = 1; col <= cols && row <= rows; ++col) {
    // As pivot_row: strict, the lowest row on ties, never a NaN.
    std::int32_t p = row;
    for (std::int32_t i = row + 1; i <= rows; ++i) {
      if (std::fabs(entry(i, col)) > std::fabs(entry(p, col))) p = i;
    }
    if (!(std::fabs(entry(p, col)) > eps)) continue;
    const std::int32_t rest = cols - col;
    if (p != row) std::swap_ranges(&entry(p, col), &entry(p, col) + rest + 1, &entry(row, col));
    const float r = 1.0f / entry(row, col);
    float* pivot = &entry(row, col);
    for (std::int32_t j = 1; j <= rest; ++j) pivot[j] = pivot[j] * r;
    for (std::int32_t i = row + 1; i <= rows; ++i) {
      float* target = &entry(i, col);
      kernels::subtract_scaled(target + 1, 1, *target, pivot + 1, 1, rest);
    }
    ++rank;
    ++row;
  }
  return rank;
}

}  // namespace orvik
