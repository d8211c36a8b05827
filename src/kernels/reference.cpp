// The reference loops: the plain loops the operations describe, one
// std::fma per multiply-accumulate step, terms in increasing order. These
// are the contract every optimised version is tested against.

#include "kernels/kernels.hpp"

#include "common/min_max.hpp"
#include "common/power_of_two.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace orvik::kernels {
namespace {

std::size_t idx(std::int32_t i, std::int32_t j, std::int32_t rows) noexcept {
  return static_cast<std::size_t>(j) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i);
}

void prod_mat_ref(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p, std::int32_t n) noexcept {
  for (std::int32_t i = 0; i < m; ++i) {
    for (std::int32_t j = 0; j < n; ++j) {
      float s = 0.0f;
      for (std::int32_t k = 0; k < p; ++k) s = std::fma(a[idx(i, k, m)], b[idx(k, j, p)], s);
      c[idx(i, j, m)] = s;
    }
  }
}

void prod_vec_ref(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept {
  for (std::int32_t i = 0; i < rows; ++i) {
    float s = 0.0f;
    for (std::int32_t j = 0; j < cols; ++j) s = std::fma(a[idx(i, j, rows)], x[j], s);
    y[i] = s;
  }
}

void prod_vec_left_ref(const float* x, const float* a, std::ptrdiff_t lda, float* y, std::int32_t rows,
                       std::int32_t cols) noexcept {
  for (std::int32_t i = 0; i < cols; ++i) {
    float s = 0.0f;
    for (std::int32_t j = 0; j < rows; ++j) s = std::fma(x[j], a[j + i * lda], s);
    y[i] = s;
  }
}

float dot_ref(float s, const float* x, const float* y, std::int32_t n) noexcept {
  for (std::int32_t i = 0; i < n; ++i) s = std::fma(x[i], y[i], s);
  return s;
}

float subtract_products_ref(float s, const float* x, std::ptrdiff_t x_stride, const float* y, std::ptrdiff_t y_stride,
                            std::int32_t count) noexcept {
  for (std::ptrdiff_t t = 0; t < count; ++t) s = std::fma(-x[t * x_stride], y[t * y_stride], s);
  return s;
}

void subtract_scaled_ref(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                         std::int32_t count) noexcept {
  for (std::ptrdiff_t t = 0; t < count; ++t) y[t * y_stride] = std::fma(-f, x[t * x_stride], y[t * y_stride]);
}

void subtract_rounded_outer_ref(float* y, std::ptrdiff_t ld, const float* c, const float* x, std::int32_t n,
                                std::int32_t count) noexcept {
  for (std::int32_t t = 0; t < count; ++t) {
    float* yt = y + static_cast<std::ptrdiff_t>(t) * ld;
    for (std::int32_t i = 0; i < n; ++i) {
      const float p = c[t] * x[i];
      yt[i] = yt[i] - p;
    }
  }
}

void deflate_rank_one_ref(float* b, std::int32_t n, float factor, const float* v) noexcept {
  for (std::int32_t k = 0; k < n; ++k) {
    for (std::int32_t j = 0; j < n; ++j) {
      const float outer = v[k] * v[j];
      b[idx(k, j, n)] = std::fma(-factor, outer, b[idx(k, j, n)]);
    }
  }
}

void gemm_ref(std::int32_t m, std::int32_t n, std::int32_t k, operand a, operand b, float* c, std::ptrdiff_t ldc,
              gemm_mode mode) noexcept {
  for (std::ptrdiff_t i = 0; i < m; ++i) {
    for (std::ptrdiff_t j = 0; j < n; ++j) {
      float s = mode == gemm_mode::assign ? 0.0f : c[i + j * ldc];
      for (std::ptrdiff_t l = 0; l < k; ++l) {
        const float x = a.data[i * a.row_stride + l * a.col_stride];
        const float y = b.data[l * b.row_stride + j * b.col_stride];
        s = mode == gemm_mode::subtract ? std::fma(-x, y, s) : std::fma(x, y, s);
      }
      c[i + j * ldc] = s;
    }
  }
}

// Row by row, as the operation describes it.
void lu_ref(float* a, std::int32_t rows, std::int32_t cols) noexcept {
  for (std::int32_t i = 0; i < rows; ++i) {
    for (std::int32_t j = 0; j < cols; ++j) {
      float s = a[idx(i, j, rows)];
      for (std::int32_t l = 0; l < std::min(i, j); ++l) s = std::fma(-a[idx(i, l, rows)], a[idx(l, j, rows)], s);
      if (j < i) s = s / a[idx(j, j, rows)];
      a[idx(i, j, rows)] = s;
    }
  }
}

bool cholesky_ref(float* w, std::int32_t n, float eps) noexcept {
  if (n == 0) return true;
  if (!(w[0] > eps)) return false;
  for (std::int32_t k = 0; k < n - 1; ++k) {
    const float d = std::sqrt(w[idx(k, k, n)]);
    w[idx(k, k, n)] = d;
    for (std::int32_t i = k + 1; i < n; ++i) w[idx(i, k, n)] = w[idx(i, k, n)] / d;
    for (std::int32_t j = k + 1; j < n; ++j) {
      for (std::int32_t i = j; i < n; ++i)
        w[idx(i, j, n)] = std::fma(-w[idx(j, k, n)], w[idx(i, k, n)], w[idx(i, j, n)]);
      if (!(w[idx(j, j, n)] > eps)) return false;
    }
  }
  w[idx(n - 1, n - 1, n)] = std::sqrt(w[idx(n - 1, n - 1, n)]);
  return true;
}

std::int32_t pivot_row(const float* t, std::int32_t rows, std::int32_t first, std::int32_t col) noexcept {
  std::int32_t p = first;
  for (std::int32_t i = first + 1; i < rows; ++i) {
    if (std::fabs(t[idx(i, col, rows)]) > std::fabs(t[idx(p, col, rows)])) p = i;
  }
  return p;
}

void exchange_rows(float* t, std::int32_t rows, std::int32_t cols, std::int32_t i, std::int32_t p) noexcept {
  for (std::int32_t j = 0; j < cols; ++j) std::swap(t[idx(i, j, rows)], t[idx(p, j, rows)]);
}

void scale_row(float* t, std::int32_t rows, std::int32_t cols, std::int32_t k, float r) noexcept {
  for (std::int32_t j = 0; j < cols; ++j) t[idx(k, j, rows)] = t[idx(k, j, rows)] * r;
}

// Row i minus f times row k, all columns.
void eliminate_row(float* t, std::int32_t rows, std::int32_t cols, std::int32_t i, std::int32_t k, float f) noexcept {
  for (std::int32_t j = 0; j < cols; ++j) t[idx(i, j, rows)] = std::fma(-f, t[idx(k, j, rows)], t[idx(i, j, rows)]);
}

bool gauss_jordan_inverse_ref(float* t, float* x, std::int32_t n, float eps) noexcept {
  for (std::int32_t k = 0; k < n; ++k) {
    const std::int32_t p = pivot_row(t, n, k, k);
    if (std::fabs(t[idx(p, k, n)]) <= eps) return false;
    if (p != k) {
      exchange_rows(t, n, n, k, p);
      exchange_rows(x, n, n, k, p);
    }
    const float r = 1.0f / t[idx(k, k, n)];
    scale_row(t, n, n, k, r);
    scale_row(x, n, n, k, r);
    for (std::int32_t i = 0; i < n; ++i) {
      if (i == k) continue;
      const float f = t[idx(i, k, n)];
      eliminate_row(t, n, n, i, k, f);
      eliminate_row(x, n, n, i, k, f);
    }
  }
  return true;
}

float gauss_jordan_det_ref(float* t, std::int32_t n, float eps) noexcept {
  float d = 1.0f;
  for (std::int32_t k = 0; k < n; ++k) {
    const std::int32_t p = pivot_row(t, n, k, k);
    if (std::fabs(t[idx(p, k, n)]) <= eps) return 0.0f;
    if (p != k) {
      exchange_rows(t, n, n, k, p);
      d = -d;
    }
    const float r = 1.0f / t[idx(k, k, n)];
    scale_row(t, n, n, k, r);
    d = d / r;
    for (std::int32_t i = 0; i < n; ++i) {
      if (i != k) eliminate_row(t, n, n, i, k, t[idx(i, k, n)]);
    }
  }
  return d;
}

std::int32_t gauss_jordan_rank_ref(float* t, std::int32_t rows, std::int32_t cols, float eps) noexcept {
  std::int32_t rank = 0;
  std::int32_t row = 0;
  for (std::int32_t col = 0; col < cols && row < rows; ++col) {
    const std::int32_t p = pivot_row(t, rows, row, col);
    if (!(std::fabs(t[idx(p, col, rows)]) > eps)) continue;
    if (p != row) exchange_rows(t, rows, cols, row, p);
    scale_row(t, rows, cols, row, 1.0f / t[idx(row, col, rows)]);
    for (std::int32_t i = row + 1; i < rows; ++i) eliminate_row(t, rows, cols, i, row, t[idx(i, col, rows)]);
    ++rank;
    ++row;
  }
  return rank;
}

void rotate_columns_ref(float* a, std::ptrdiff_t ld, std::int32_t rows, std::int32_t count, const float* c,
                        const float* s, bool backward) noexcept {
  for (std::int32_t step = 0; step < count; ++step) {
    const std::int32_t t = backward ? count - 1 - step : step;
    float* x = a + static_cast<std::ptrdiff_t>(t) * ld;
    float* y = x + ld;
    for (std::int32_t i = 0; i < rows; ++i) {
      const float xi = x[i];
      const float yi = y[i];
      x[i] = std::fma(c[t], xi, s[t] * yi);
      y[i] = std::fma(c[t], yi, -(s[t] * xi));
    }
  }
}

void symmetric_rank_two_ref(float* a, std::ptrdiff_t lda, std::int32_t m, const float* v, const float* w) noexcept {
  for (std::ptrdiff_t c = 0; c < m; ++c) {
    float* ac = a + c * lda;
    for (std::ptrdiff_t r = 0; r < m; ++r) {
      if (r < c) {
        ac[r] = std::fma(-w[r], v[c], std::fma(-v[r], w[c], ac[r]));
      } else {
        ac[r] = std::fma(-v[r], w[c], std::fma(-w[r], v[c], ac[r]));
      }
    }
  }
}

void rotate_pair(float* lo, float* hi, std::int32_t rows, float c, float s) noexcept {
  for (std::int32_t i = 0; i < rows; ++i) {
    const float l = lo[i];
    const float h = hi[i];
    lo[i] = std::fma(s, h, c * l);
    hi[i] = std::fma(-s, l, c * h);
  }
}

void rotate_eigenvectors_ref(float* z, std::ptrdiff_t ldz, std::int32_t rows, std::int32_t count, const float* c,
                             const float* s, bool forward) noexcept {
  for (std::int32_t t = 0; t < count; ++t) {
    const std::int32_t j = forward ? t : count - 1 - t;
    rotate_pair(z + j * ldz, z + (j + 1) * ldz, rows, c[j], s[j]);
  }
}

// One application of a small reflector to the nr values at p, q apart.
void reflect_one(float* p, std::ptrdiff_t q, std::int32_t nr, const float* f) noexcept {
  if (nr == 3) {
    const float s = std::fma(f[1], p[2 * q], std::fma(f[0], p[q], p[0]));
    p[0] = std::fma(-s, f[2], p[0]);
    p[q] = std::fma(-s, f[3], p[q]);
    p[2 * q] = std::fma(-s, f[4], p[2 * q]);
  } else {
    const float s = std::fma(f[0], p[q], p[0]);
    p[0] = std::fma(-s, f[2], p[0]);
    p[q] = std::fma(-s, f[3], p[q]);
  }
}

void reflect_columns_ref(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t nr, const float* f) noexcept {
  for (std::ptrdiff_t i = 0; i < rows; ++i) reflect_one(x + i, ld, nr, f);
}

void reflect_rows_ref(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t nr, const float* f) noexcept {
  for (std::ptrdiff_t j = 0; j < cols; ++j) reflect_one(x + j * ld, 1, nr, f);
}

void reflect_rows_sequence_ref(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t count,
                               const float* f) noexcept {
  for (std::ptrdiff_t t = 0; t < count; ++t) reflect_rows_ref(x + t, ld, cols, 3, f + 5 * t);
}

void reflect_columns_sequence_ref(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t count,
                                  const float* f) noexcept {
  for (std::ptrdiff_t t = 0; t < count; ++t) reflect_columns_ref(x + t * ld, ld, rows, 3, f + 5 * t);
}

#include "kernels/bidiagonal_sweep-inl.h"

std::int32_t bidiagonal_sweep_ref(float* d, float* e, std::int32_t count, float shift, bool downwards, float* lc,
                                  float* ls, float* rc, float* rs, float tol, float* minima) noexcept {
  return bidiagonal_sweep_body(d, e, count, shift, downwards, lc, ls, rc, rs, tol, minima);
}

#include "kernels/tridiagonal_ql-inl.h"

bool tridiagonal_ql_ref(float* d, float* e, std::int32_t n, float* z, float* cw, float* sw,
                        std::int32_t max_sweeps) noexcept {
  return ql::tridiagonal_ql_body(d, e, n, z, cw, sw, max_sweeps, rotate_eigenvectors_ref);
}

void accumulate_reflectors_ref(float* y, std::int32_t n, const float* v, const float* tau,
                               std::int32_t count) noexcept {
  const auto ld = static_cast<std::ptrdiff_t>(n);
  for (std::int32_t k = count - 1; k >= 0; --k) {
    if (tau[k] == 0.0f) continue;
    const auto u = [&](std::ptrdiff_t c) { return c == k + 1 ? 1.0f : v[k * ld + c]; };
    for (std::ptrdiff_t r = k + 1; r < n; ++r) {
      float p = 0.0f;
      for (std::ptrdiff_t c = k + 1; c < n; ++c) p = std::fma(y[r + c * ld], u(c), p);
      for (std::ptrdiff_t c = k + 1; c < n; ++c) y[r + c * ld] = std::fma(-(tau[k] * u(c)), p, y[r + c * ld]);
    }
  }
}

}  // namespace

const kernel_table& reference_kernels() noexcept {
  static constexpr kernel_table table{"reference",
                                      prod_mat_ref,
                                      prod_vec_ref,
                                      prod_vec_left_ref,
                                      dot_ref,
                                      subtract_products_ref,
                                      subtract_scaled_ref,
                                      subtract_rounded_outer_ref,
                                      deflate_rank_one_ref,
                                      gemm_ref,
                                      lu_ref,
                                      cholesky_ref,
                                      gauss_jordan_inverse_ref,
                                      gauss_jordan_det_ref,
                                      gauss_jordan_rank_ref,
                                      rotate_columns_ref,
                                      symmetric_rank_two_ref,
                                      rotate_eigenvectors_ref,
                                      reflect_columns_ref,
                                      reflect_rows_ref,
                                      reflect_rows_sequence_ref,
                                      reflect_columns_sequence_ref,
                                      bidiagonal_sweep_ref,
                                      tridiagonal_ql_ref,
                                      accumulate_reflectors_ref};
  return table;
}

}  // namespace orvik::kernels
