// Least squares min ||A x - b|| for a tall or square A of full column rank,
// by Householder QR applied to the right-hand sides as it goes: Q is never
// formed. The reflector of column j maps x = A(j..m, j) onto beta e1 with
// beta = -sign(x1) ||x||, so v1 = x1 - beta adds two numbers of the same
// sign and nothing cancels; ||x|| is taken on x scaled by a power of two,
// which neither overflows nor underflows and adds no rounding.

#include <orvik/decompositions.hpp>

#include "common/power_of_two.hpp"
#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace orvik {
namespace {

// H c = c - tau (u^T c) u on c[0 .. len-1], u(1) = 1.
void reflect(float* c, const float* u, float tau, std::int32_t len) {
  const float f = tau * kernels::dot(u, c, len);
  kernels::subtract_scaled(c, 1, f, u, 1, len);
}

// Overwrites w (m x n, m >= n) with R in its upper triangle and the `nrhs`
// columns of x (m rows each, column-major) with Q^T b, then the first n
// rows of x with the solutions of R x = (Q^T b)(1..n).
void lstsq_in_place(t_matrix& w, float* x, std::int32_t nrhs) {
  const std::int32_t m = w.rows;
  const std::int32_t n = w.cols;
  const auto column = [m](float* base, std::int32_t c) { return base + static_cast<std::ptrdiff_t>(c - 1) * m; };
  std::vector<float> u = detail::work_buffer(m, "m_lstsq::allocate error");
  for (std::int32_t j = 1; j <= n; ++j) {
    const std::int32_t len = m - j + 1;
    float* col = &detail::at(w, j, j);
    // A column with nothing below its diagonal needs no reflection (H = I).
    const bool tail_zero = std::all_of(col + 1, col + len, [](float v) { return v == 0.0f; });
    if (!tail_zero) {
      const float x1 = col[0];
      const float beta = -std::copysign(detail::scaled_length(col, 1, len), x1);
      const float tau = (beta - x1) / beta;
      const float v1 = x1 - beta;
      u[0] = 1.0f;
      for (std::int32_t i = 1; i < len; ++i) u[static_cast<std::size_t>(i)] = col[i] / v1;
      col[0] = beta;
      for (std::int32_t k = j + 1; k <= n; ++k) reflect(&detail::at(w, j, k), u.data(), tau, len);
      for (std::int32_t c = 1; c <= nrhs; ++c) reflect(column(x, c) + (j - 1), u.data(), tau, len);
    }
    if (col[0] == 0.0f) detail::m_fail("m_lstsq::matrix is rank deficient", 300);
  }
  // R x = (Q^T b)(1..n), the terms of each row in increasing column order.
  for (std::int32_t c = 1; c <= nrhs; ++c) {
    float* xc = column(x, c);
    detail::back_substitute(w.elements.data(), m, n, xc);
  }
}

}  // namespace

t_vector m_lstsq(const t_matrix& a, const t_vector& b) {
  detail::m_require_allocated(a, "m_lstsq::matrix not allocated");
  if (!detail::is_allocated(b)) detail::m_fail("m_lstsq::vector not allocated", 2001);
  if (a.rows < a.cols) {
    detail::m_fail("m_lstsq::The number rows of the matrix must be superior or equal to its number cols", 202);
  }
  if (b.size != a.rows) detail::m_fail("m_lstsq::The number rows of the matrix must be equal to vector size", 202);
  // v_init refuses a size of 0: no unknowns, the empty solution.
  if (a.cols == 0) return v_zeros(0);
  t_matrix w = detail::checked_copy(a, "m_lstsq::allocate error");
  std::vector<float> x = detail::checked_copy(b.elements, "m_lstsq::allocate error");
  lstsq_in_place(w, x.data(), 1);
  // Made only once the solve has succeeded, like m_solve's.
  t_vector result;
  v_init(result, a.cols);
  std::copy_n(x.begin(), a.cols, result.elements.begin());
  return result;
}

t_matrix m_lstsq(const t_matrix& a, const t_matrix& b) {
  if (!detail::is_allocated(a) || !detail::is_allocated(b)) detail::m_fail("m_lstsq::matrix not allocated", 2001);
  if (a.rows < a.cols) {
    detail::m_fail("m_lstsq::The number rows of the matrix must be superior or equal to its number cols", 202);
  }
  if (b.rows != a.rows) {
    detail::m_fail("m_lstsq::The number rows of the first matrix must be equal to the number rows of the second matrix",
                   202);
  }
  if (a.cols == 0) return m_zeros(0, b.cols);
  t_matrix w = detail::checked_copy(a, "m_lstsq::allocate error");
  std::vector<float> x = detail::checked_copy(b.elements, "m_lstsq::allocate error");
  lstsq_in_place(w, x.data(), b.cols);
  if (b.cols == 0) return m_zeros(a.cols, 0);
  t_matrix result;
  m_init(result, a.cols, b.cols);
  for (std::int32_t c = 0; c < b.cols; ++c) {
    std::copy_n(x.begin() + static_cast<std::ptrdiff_t>(c) * a.rows, a.cols,
                result.elements.begin() + static_cast<std::ptrdiff_t>(c) * a.cols);
  }
  return result;
}

}  // namespace orvik
