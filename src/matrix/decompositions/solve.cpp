// Linear solve A x = b by LU with partial pivoting: at every column the row
// of largest magnitude (the lowest one on a tie) becomes the pivot row, the
// same exchanges and eliminations are applied to the right-hand sides, then
// back substitution. Only an exactly zero pivot is refused; a nearly
// singular A gives a large, inaccurate x, as LAPACK's sgesv does.

#include <orvik/decompositions.hpp>

#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace orvik {
namespace {

// The row p in k .. n with the largest |w(p, k)|; strict, so the lowest row
// wins ties and a NaN is never chosen over the current row.
std::int32_t pivot_row(const t_matrix& w, std::int32_t k) {
  std::int32_t p = k;
  for (std::int32_t i = k + 1; i <= w.rows; ++i) {
    if (std::fabs(detail::at(w, i, k)) > std::fabs(detail::at(w, p, k))) p = i;
  }
  return p;
}

}  // namespace

// Every entry receives its updates in increasing step order, one fused step
// each, so the bits do not depend on the loop order chosen here.
std::int32_t detail::eliminate_with_partial_pivoting(t_matrix& w, float* x, std::int32_t nrhs,
                                                     std::string_view singular) {
  const std::int32_t n = w.rows;
  const auto column = [n](float* base, std::int32_t c) { return base + static_cast<std::ptrdiff_t>(c - 1) * n; };
  std::int32_t exchanges = 0;
  for (std::int32_t k = 1; k <= n; ++k) {
    const std::int32_t p = pivot_row(w, k);
    if (detail::at(w, p, k) == 0.0f) {
      if (!singular.empty()) detail::m_fail(singular, 300);
      // The column is zero from row k down: nothing to eliminate.
      continue;
    }
    if (p != k) {
      ++exchanges;
      detail::exchange_rows(w, k, p);
      for (std::int32_t c = 1; c <= nrhs; ++c) std::swap(column(x, c)[k - 1], column(x, c)[p - 1]);
    }
    const std::int32_t below = n - k;
    if (below == 0) break;
    const float pivot = detail::at(w, k, k);
    for (std::int32_t i = k + 1; i <= n; ++i) detail::at(w, i, k) = detail::at(w, i, k) / pivot;
    const float* multipliers = &detail::at(w, k + 1, k);
    for (std::int32_t j = k + 1; j <= n; ++j) {
      kernels::subtract_scaled(&detail::at(w, k + 1, j), 1, detail::at(w, k, j), multipliers, 1, below);
    }
    for (std::int32_t c = 1; c <= nrhs; ++c) {
      float* xc = column(x, c);
      kernels::subtract_scaled(xc + k, 1, xc[k - 1], multipliers, 1, below);
    }
  }
  return exchanges;
}

namespace {

// Overwrites w (n x n) with its LU factors and the `nrhs` columns of x
// (n rows each, column-major) with the solutions.
void solve_in_place(t_matrix& w, float* x, std::int32_t nrhs) {
  const std::int32_t n = w.rows;
  const auto column = [n](float* base, std::int32_t c) { return base + static_cast<std::ptrdiff_t>(c - 1) * n; };
  detail::eliminate_with_partial_pivoting(w, x, nrhs, "m_solve::matrix is singular");
  // Back substitution: x(i) = (y(i) - sum over j > i of U(i, j) x(j)) / U(i, i),
  // the terms in increasing j.
  for (std::int32_t c = 1; c <= nrhs; ++c) {
    float* xc = column(x, c);
    detail::back_substitute(w.elements.data(), n, n, xc);
  }
}

}  // namespace

t_vector m_solve(const t_matrix& a, const t_vector& b) {
  detail::m_require_allocated(a, "m_solve::matrix not allocated");
  if (!detail::is_allocated(b)) detail::m_fail("m_solve::vector not allocated", 2001);
  if (a.rows != a.cols) detail::m_fail("m_solve:: square matrix expected", 202);
  if (b.size != a.rows) detail::m_fail("m_solve::The number rows of the matrix must be equal to vector size", 202);
  // v_init refuses a size of 0; an empty system has the empty solution.
  if (a.rows == 0) return v_zeros(0);
  t_matrix w = detail::checked_copy(a, "m_solve::allocate error");
  std::vector<float> x = detail::checked_copy(b.elements, "m_solve::allocate error");
  solve_in_place(w, x.data(), 1);
  // The result is made only once the solve has succeeded, so a refused
  // system leaves the remembered size of v_init alone.
  t_vector result;
  v_init(result, a.rows);
  std::copy(x.begin(), x.end(), result.elements.begin());
  return result;
}

t_matrix m_solve(const t_matrix& a, const t_matrix& b) {
  if (!detail::is_allocated(a) || !detail::is_allocated(b)) detail::m_fail("m_solve::matrix not allocated", 2001);
  if (a.rows != a.cols) detail::m_fail("m_solve:: square matrix expected", 202);
  if (b.rows != a.rows) {
    detail::m_fail("m_solve::The number rows of the first matrix must be equal to the number rows of the second matrix",
                   202);
  }
  // m_init refuses empty shapes: an empty system, or one without right-hand
  // sides (A is still factored, and refused when singular), gives an empty
  // result made directly.
  if (a.rows == 0) return m_zeros(0, b.cols);
  t_matrix w = detail::checked_copy(a, "m_solve::allocate error");
  std::vector<float> x = detail::checked_copy(b.elements, "m_solve::allocate error");
  solve_in_place(w, x.data(), b.cols);
  if (b.cols == 0) return m_zeros(b.rows, 0);
  t_matrix result;
  m_init(result, b.rows, b.cols);
  std::copy(x.begin(), x.end(), result.elements.begin());
  return result;
}

}  // namespace orvik
