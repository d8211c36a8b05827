// Diagonals, triangles and bands of a matrix; identity, constant-band and
// random diagonally dominant generators.

#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include "common/wide_sum.hpp"
#include "maths/random_source.hpp"
#include "matrix/matrix_internal.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace orvik {
namespace {

// A copy of the positions of `m` that `keep(i, j)` selects, 0.0 elsewhere,
// made through m_init with the shape of `m`.
template <typename Keep>
t_matrix masked(const t_matrix& m, Keep keep) {
  t_matrix result;
  m_init(result, m.rows, m.cols);
  for (std::int32_t j = 1; j <= m.cols; ++j) {
    for (std::int32_t i = 1; i <= m.rows; ++i) {
      if (keep(i, j)) detail::at(result, i, j) = detail::at(m, i, j);
    }
  }
  return result;
}

t_matrix banded(float a, std::optional<float> sub, std::optional<float> super, std::int32_t n,
                std::string_view too_small, std::string_view alloc_error) {
  if (n < 2) detail::m_fail(too_small, 202);
  t_matrix result;
  detail::create_storage(result, n, n, alloc_error);
  // The bands stop at the last row and column: (n, n + 1) and (n + 1, n)
  // lie outside the matrix.
  for (std::int32_t i = 1; i <= n; ++i) {
    detail::at(result, i, i) = a;
    if (i < n) {
      if (sub) detail::at(result, i + 1, i) = *sub;
      if (super) detail::at(result, i, i + 1) = *super;
    }
  }
  return result;
}

// r * (high - low) + low for the next value r of the random sequence, which
// is continued, never reseeded.
float draw(float low, float high) { return detail::random_scaled(0, low, high); }

// Every diagonal element becomes its row sum (diagonal included) plus 1,
// all sums taken before the first diagonal element is replaced.
void raise_diagonal(t_matrix& m, std::string_view allocation_error) {
  const std::int32_t n = m.rows;
  std::vector<float> sums = detail::work_buffer(n, allocation_error);
  for (std::int32_t i = 1; i <= n; ++i) {
    detail::wide_sum s;
    for (std::int32_t j = 1; j <= n; ++j) s.add(detail::at(m, i, j));
    s.add(1.0f);
    sums[static_cast<std::size_t>(i - 1)] = s.value();
  }
  for (std::int32_t i = 1; i <= n; ++i) detail::at(m, i, i) = sums[static_cast<std::size_t>(i - 1)];
}

}  // namespace

t_vector m_diag(const t_matrix& m, std::optional<std::int32_t> k) {
  detail::m_require_allocated(m, "m_diag::matrix not allocated");
  const std::int32_t kk = k.value_or(0);
  if (kk <= -m.rows || kk >= m.cols) detail::m_fail("m_diag::diag is not defined", 203);
  const std::int32_t length = kk >= 0 ? std::min(m.rows, m.cols - kk) : std::min(m.rows + kk, m.cols);
  const std::int32_t r = kk < 0 ? -kk : 0;
  const std::int32_t s = kk < 0 ? 0 : kk;
  t_vector result;
  v_init(result, length);
  for (std::int32_t t = 1; t <= length; ++t)
    result.elements[static_cast<std::size_t>(t - 1)] = detail::at(m, t + r, t + s);
  return result;
}

t_matrix m_triu(const t_matrix& m, std::optional<std::int32_t> k) {
  detail::m_require_allocated(m, "m_triu::matrix not allocated");
  const std::int32_t kk = k.value_or(0);
  return masked(m, [kk](std::int32_t i, std::int32_t j) { return j - i >= kk; });
}

t_matrix m_tril(const t_matrix& m, std::optional<std::int32_t> k) {
  detail::m_require_allocated(m, "m_tril::matrix not allocated");
  const std::int32_t kk = k.value_or(0);
  return masked(m, [kk](std::int32_t i, std::int32_t j) { return j - i <= kk; });
}

t_matrix m_bidiag_up(const t_matrix& m) {
  detail::m_require_allocated(m, "m_bidiag_up::matrix not allocated");
  return masked(m, [](std::int32_t i, std::int32_t j) { return j == i || j == i + 1; });
}

t_matrix m_bidiag_low(const t_matrix& m) {
  detail::m_require_allocated(m, "m_bidiag_low::matrix not allocated");
  return masked(m, [](std::int32_t i, std::int32_t j) { return j == i || j == i - 1; });
}

t_matrix m_identity(std::int32_t n) {
  if (n < 1) detail::m_fail("m_identity::matrix size is nil or negative", 201);
  t_matrix result;
  detail::create_storage(result, n, n, "m_identity::allocate error");
  for (std::int32_t i = 1; i <= n; ++i) detail::at(result, i, i) = 1.0f;
  return result;
}

t_matrix mc_diag(std::span<const float> d) {
  if (d.empty()) detail::m_fail("mc_diag::size vector must be superior or equal 1", 202);
  // An order whose square leaves the element limit cannot be stored; this
  // also keeps the order itself inside int32.
  if (d.size() > static_cast<std::size_t>(detail::max_elements)) detail::m_fail("allocate error", 2001);
  const auto n = static_cast<std::int32_t>(d.size());
  t_matrix result;
  detail::create_storage(result, n, n, "allocate error");
  for (std::int32_t i = 1; i <= n; ++i) detail::at(result, i, i) = d[static_cast<std::size_t>(i - 1)];
  return result;
}

t_matrix mc_bidiag_low(float a, float b, std::int32_t n) {
  return banded(a, std::nullopt, b, n, "mc_bidiag_low::size vector must be superior or equal 2",
                "mc_bidiag_low::allocate error");
}

t_matrix mc_bidiag_up(float a, float b, std::int32_t n) {
  return banded(a, b, std::nullopt, n, "mc_bidiag_up::size vector must be superior or equal 2",
                "mc_bidiag_up::allocate error");
}

t_matrix mc_tridiag(float a, float b, float c, std::int32_t n) {
  return banded(a, b, c, n, "mc_tridiag::size vector must be superior or equal 2", "mc_tridiag::allocate error");
}

void mc_diagdominant(t_matrix& m, std::int32_t n, float low, float high) {
  if (n < 1) detail::m_fail("mc_diagDominant::matrix index is nil or negative", 201);
  m_destruct(m);
  detail::create_storage(m, n, n, "mc_diagDominant::allocate error");
  // Drawn row by row although stored column by column.
  for (std::int32_t i = 1; i <= n; ++i) {
    for (std::int32_t j = 1; j <= n; ++j) detail::at(m, i, j) = draw(low, high);
  }
  raise_diagonal(m, "mc_diagDominant::allocate error");
}

void mc_diagdominantsymmetric(t_matrix& m, std::int32_t n, float low, float high) {
  if (n < 1) detail::m_fail("mc_diagDominantSymmetric::matrix index is nil or negative", 201);
  m_destruct(m);
  detail::create_storage(m, n, n, "mc_diagDominantSymmetric::allocate error");
  for (std::int32_t i = 1; i <= n; ++i) {
    for (std::int32_t j = i + 1; j <= n; ++j) detail::at(m, i, j) = draw(low, high);
    for (std::int32_t j = 1; j < i; ++j) detail::at(m, i, j) = detail::at(m, j, i);
    // Not drawn: 0.0, so the diagonal ends as the off-diagonal row sum plus 1.
    detail::at(m, i, i) = 0.0f;
  }
  raise_diagonal(m, "mc_diagDominantSymmetric::allocate error");
}

}  // namespace orvik
