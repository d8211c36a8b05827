// Eigenvalues and eigenvectors of a symmetric matrix: Householder reduction
// to tridiagonal form, then the implicit QL / QR iteration with Wilkinson
// shifts (QL where the block's larger end is at the top, QR otherwise, as
// LAPACK's ssteqr chooses; kernels::tridiagonal_ql), the rotations applied
// to the reflectors' product when vectors are wanted. The iteration never
// looks at the vectors, so the values have the same bits with and without
// them.

#include <orvik/decompositions.hpp>

#include "kernels/kernels.hpp"
#include "matrix/decompositions/eigen_internal.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <vector>

namespace orvik {
namespace {

namespace eg = detail::eigen;

// The QL / QR sweeps allowed per order of the matrix, all blocks together.
constexpr std::int32_t kSweepsPerOrder = 30;

constexpr std::string_view kAllocate = "m_eig_sym::allocate error";

struct tridiagonal {
  std::vector<float> d;    // n diagonal entries
  std::vector<float> e;    // n - 1 off-diagonal entries (one spare)
  std::vector<float> tau;  // the reflectors' factors; their vectors stay in w below the subdiagonal
};

// w (n x n, both triangles) becomes Q^T A Q = T with Q = H(0) ... H(n-3);
// H(k) = I - tau(k) u u^T acts on rows k+1 .. n-1, u = (1, w(k+2 .., k)).
// Each step: p = tau A22 u, w = p - (tau / 2)(p^T u) u, A22 -= u w^T + w u^T,
// the last symmetric, so the full matrix stays exactly symmetric and the
// product with A22 is a plain one.
//
// Orders above kBlockFrom are reduced kPanel columns at a time first, as
// LAPACK's ssytrd and slatrd do: a panel's reflectors are found with the
// trailing matrix left as it was at the panel's start (each column brought
// up to date, each product corrected, by products with the panel's
// vectors), then the trailing matrix receives the panel's 2 kPanel terms
// in one product, lower triangle (terms -w(r) v(c), -v(r) w(c) for each
// column of the panel in order), and is mirrored into its upper triangle.
constexpr std::int32_t kPanel = 32;
constexpr std::int32_t kBlockFrom = 96;
constexpr std::int32_t kUpdateColumns = 64;

void reduce_panel(std::vector<float>& w, std::int32_t n, std::int32_t k0, tridiagonal& t, std::vector<float>& wp,
                  std::vector<float>& across, std::vector<float>& x_op, std::vector<float>& y_op) {
  using kernels::gemm;
  using kernels::gemm_mode;
  using kernels::operand;
  const auto ld = static_cast<std::ptrdiff_t>(n);
  const auto at = [&](std::int32_t i, std::int32_t j) { return w.data() + i + static_cast<std::ptrdiff_t>(j) * ld; };
  const auto pw = [&](std::int32_t i, std::int32_t j) { return wp.data() + i + static_cast<std::ptrdiff_t>(j) * ld; };
  // The panel's vectors and products row by row as well (2 kPanel values
  // per row of w: v(0 .. kPanel), then p(0 .. kPanel)), so that their
  // products with a vector are column-major ones, vectorised across the
  // panel's columns.
  const auto row_v = [&](std::int32_t i) { return across.data() + static_cast<std::ptrdiff_t>(i) * 2 * kPanel; };
  const auto row_p = [&](std::int32_t i) { return row_v(i) + kPanel; };
  float t1[kPanel];
  float t2[kPanel];
  for (std::int32_t i = 0; i < kPanel; ++i) {
    const std::int32_t k = k0 + i;
    const std::int32_t rows = n - k;
    if (i > 0) {
      gemm(rows, 1, i, operand{at(k, k0), 1, ld}, operand{pw(k, 0), ld, 1}, at(k, k), ld, gemm_mode::subtract);
      gemm(rows, 1, i, operand{pw(k, 0), 1, ld}, operand{at(k, k0), ld, 1}, at(k, k), ld, gemm_mode::subtract);
    }
    const std::int32_t m = rows - 1;
    float* x = at(k + 1, k);
    const eg::reflector h = eg::make_reflector(x[0], x + 1, m - 1);
    t.d[static_cast<std::size_t>(k)] = *at(k, k);
    t.e[static_cast<std::size_t>(k)] = h.beta;
    t.tau[static_cast<std::size_t>(k)] = h.tau;
    x[0] = 1.0f;
    float* p = pw(k + 1, i);
    gemm(m, 1, m, operand{at(k + 1, k + 1), 1, ld}, operand{x, 1, m}, p, ld, gemm_mode::assign);
    if (i > 0) {
      gemm(i, 1, m, operand{row_p(k + 1), 1, 2 * kPanel}, operand{x, 1, m}, t1, i, gemm_mode::assign);
      gemm(m, 1, i, operand{at(k + 1, k0), 1, ld}, operand{t1, 1, i}, p, ld, gemm_mode::subtract);
      gemm(i, 1, m, operand{row_v(k + 1), 1, 2 * kPanel}, operand{x, 1, m}, t2, i, gemm_mode::assign);
      gemm(m, 1, i, operand{pw(k + 1, 0), 1, ld}, operand{t2, 1, i}, p, ld, gemm_mode::subtract);
    }
    for (std::int32_t r = 0; r < m; ++r) p[r] = h.tau * p[r];
    const float alpha = -((0.5f * h.tau) * kernels::dot(p, x, m));
    kernels::subtract_scaled(p, 1, -alpha, x, 1, m);  // p = fma(alpha, x, p)
    for (std::int32_t r = 0; r < m; ++r) {
      row_v(k + 1 + r)[i] = x[r];
      row_p(k + 1 + r)[i] = p[r];
    }
  }
  const std::int32_t s = k0 + kPanel;
  const std::int32_t ms = n - s;
  const auto ums = static_cast<std::size_t>(ms);
  for (std::int32_t l = 0; l < kPanel; ++l) {
    const float* v = at(s, k0 + l);
    const float* q = pw(s, l);
    float* x0 = x_op.data() + static_cast<std::size_t>(2 * l) * ums;
    float* y0 = y_op.data() + static_cast<std::size_t>(2 * l) * ums;
    std::copy(q, q + ms, x0);
    std::copy(v, v + ms, x0 + ms);
    std::copy(v, v + ms, y0);
    std::copy(q, q + ms, y0 + ms);
  }
  for (std::int32_t c0 = 0; c0 < ms; c0 += kUpdateColumns) {
    const std::int32_t cw = std::min(kUpdateColumns, ms - c0);
    gemm(ms - c0, cw, 2 * kPanel, operand{x_op.data() + c0, 1, ms}, operand{y_op.data() + c0, ms, 1},
         at(s + c0, s + c0), ld, gemm_mode::subtract);
  }
  // The mirror in tiles, so that the rows written stay in cache.
  constexpr std::int32_t kTile = 16;
  for (std::int32_t c0 = s; c0 < n; c0 += kTile) {
    const std::int32_t c1 = std::min(n, c0 + kTile);
    for (std::int32_t r0 = c0; r0 < n; r0 += kTile) {
      const std::int32_t r1 = std::min(n, r0 + kTile);
      for (std::int32_t r = r0; r < r1; ++r)
        for (std::int32_t c = c0; c < std::min(c1, r); ++c) *at(c, r) = *at(r, c);
    }
  }
}

tridiagonal reduce_to_tridiagonal(std::vector<float>& w, std::int32_t n) {
  tridiagonal t;
  t.d = detail::work_buffer(n, kAllocate);
  t.e = detail::work_buffer(n, kAllocate);
  t.tau = detail::work_buffer(n, kAllocate);
  std::vector<float> p = detail::work_buffer(n, kAllocate);
  const auto ld = static_cast<std::ptrdiff_t>(n);
  const auto col = [&](std::int32_t j) { return w.data() + static_cast<std::ptrdiff_t>(j) * ld; };
  std::int32_t first = 0;
  if (n > kBlockFrom) {
    detail::kept_buffer wp(static_cast<std::int64_t>(n) * kPanel, kAllocate);
    detail::kept_buffer across(static_cast<std::int64_t>(n) * 2 * kPanel, kAllocate);
    detail::kept_buffer x_op(static_cast<std::int64_t>(n) * 2 * kPanel, kAllocate);
    detail::kept_buffer y_op(static_cast<std::int64_t>(n) * 2 * kPanel, kAllocate);
    for (; n - first > kBlockFrom; first += kPanel) {
      reduce_panel(w, n, first, t, wp.get(), across.get(), x_op.get(), y_op.get());
    }
  }
  for (std::int32_t k = first; k + 2 < n; ++k) {
    const std::int32_t m = n - k - 1;
    float* x = col(k) + k + 1;
    const eg::reflector h = eg::make_reflector(x[0], x + 1, m - 1);
    t.d[static_cast<std::size_t>(k)] = col(k)[k];
    t.e[static_cast<std::size_t>(k)] = h.beta;
    t.tau[static_cast<std::size_t>(k)] = h.tau;
    x[0] = 1.0f;
    if (h.tau != 0.0f) {
      float* a22 = col(k + 1) + k + 1;
      kernels::gemm(m, 1, m, kernels::operand{a22, 1, ld}, kernels::operand{x, 1, m}, p.data(), m,
                    kernels::gemm_mode::assign);
      for (std::int32_t i = 0; i < m; ++i) p[static_cast<std::size_t>(i)] = h.tau * p[static_cast<std::size_t>(i)];
      const float alpha = -((0.5f * h.tau) * kernels::dot(p.data(), x, m));
      kernels::subtract_scaled(p.data(), 1, -alpha, x, 1, m);  // p = fma(alpha, x, p)
      kernels::symmetric_rank_two(a22, ld, m, x, p.data());
    }
  }
  if (n >= 2) {
    t.d[static_cast<std::size_t>(n - 2)] = col(n - 2)[n - 2];
    t.e[static_cast<std::size_t>(n - 2)] = col(n - 2)[n - 1];
  }
  t.d[static_cast<std::size_t>(n - 1)] = col(n - 1)[n - 1];
  return t;
}

}  // namespace

t_eig m_eig_sym(const t_matrix& a, std::optional<bool> vectors) {
  detail::m_require_allocated(a, "m_eig_sym::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_eig_sym:: square matrix expected", 202);
  const std::int32_t n = a.rows;
  // A NaN facing a NaN counts as a matching pair here, so that it reaches
  // the finiteness check and its own message.
  // In tiles, so that the rows read across stay in cache.
  constexpr std::int32_t kTile = 32;
  bool symmetric = true;
  for (std::int32_t j0 = 1; j0 <= n; j0 += kTile) {
    for (std::int32_t i0 = j0; i0 <= n; i0 += kTile) {
      for (std::int32_t j = j0; j < std::min(n + 1, j0 + kTile); ++j) {
        for (std::int32_t i = std::max(i0, j + 1); i < std::min(n + 1, i0 + kTile); ++i) {
          const float x = detail::at(a, i, j);
          const float y = detail::at(a, j, i);
          symmetric = symmetric && ((x == y) || (std::isnan(x) && std::isnan(y)));
        }
      }
    }
  }
  if (!symmetric) detail::m_fail("m_eig_sym::symmetric matrix expected", 202);
  for (const float x : a.elements) {
    if (!std::isfinite(x)) detail::m_fail("m_eig_sym::matrix has an entry that is not finite", 300);
  }
  const bool want_vectors = vectors.value_or(true);
  t_eig result;
  if (n == 0) {
    result.eigvals = v_zeros(0);
    if (want_vectors) result.eigvecs = m_zeros(0, 0);
    return result;
  }

  detail::kept_buffer w_storage(a.elements, kAllocate);
  std::vector<float>& w = w_storage.get();
  const float largest = eg::max_magnitude(w.data(), static_cast<std::ptrdiff_t>(w.size()));
  const int k = largest == 0.0f ? 0 : eg::scale_exponent(largest);
  if (k != 0) {
    detail::scale_all_by_power_of_two(w.data(), w.size(), k);
  }
  tridiagonal t = reduce_to_tridiagonal(w, n);
  detail::kept_buffer z_storage(want_vectors ? static_cast<std::int64_t>(n) * n : 0, kAllocate);
  std::vector<float>& z = z_storage.get();
  if (want_vectors) eg::form_q(w, t.tau, n, z, kAllocate);
  std::vector<float> cw = detail::work_buffer(n, kAllocate);
  std::vector<float> sw = detail::work_buffer(n, kAllocate);
  if (!kernels::tridiagonal_ql(t.d.data(), t.e.data(), n, want_vectors ? z.data() : nullptr, cw.data(), sw.data(),
                               kSweepsPerOrder * n)) {
    detail::m_fail("m_eig_sym::eig method diverge", 301);
  }
  for (float& x : t.d) x = eg::times_power_of_two(x, -k);

  std::vector<std::int32_t> order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::int32_t x, std::int32_t y) {
    return t.d[static_cast<std::size_t>(x)] < t.d[static_cast<std::size_t>(y)];
  });
  v_init(result.eigvals, n);
  for (std::int32_t i = 0; i < n; ++i) {
    result.eigvals.elements[static_cast<std::size_t>(i)] =
        t.d[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])];
  }
  if (want_vectors) {
    m_init(result.eigvecs, n, n);
    const auto un = static_cast<std::size_t>(n);
    for (std::size_t j = 0; j < un; ++j) {
      const float* from = z.data() + static_cast<std::size_t>(order[j]) * un;
      float* to = result.eigvecs.elements.data() + j * un;
      // The entry of largest magnitude (the first of equals) made positive.
      const bool flip = from[eg::first_largest_magnitude(from, un)] < 0.0f;
      for (std::size_t i = 0; i < un; ++i) to[i] = flip ? -from[i] : from[i];
    }
  }
  return result;
}

}  // namespace orvik
