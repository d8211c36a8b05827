#pragma once
// The single dispatch point of the hot loops. Every loop that dominates an
// operation's time lives in this folder, on plain column-major arrays, in two
// versions: the reference loop, which is the contract, and an optimised one
// that must return exactly its bits. The table in use is chosen once per
// process: the reference table when the library was configured with
// ORVIK_REFERENCE_KERNELS or when the environment variable ORVIK_KERNELS is
// "reference" at the first call, the optimised table otherwise.
//
// Every output element receives its terms in increasing order, one fused
// multiply-add each, from its specified start; a version may visit the
// outputs in any order but never reorders, splits or widens one output's
// terms.

#include <cstddef>
#include <cstdint>

namespace orvik::kernels {

struct kernel_table {
  const char* name;

  // c (m x n) = a (m x p) * b (p x n); c(i, j) sums a(i, k) * b(k, j) for
  // k = 1 to p from 0.0.
  void (*prod_mat)(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p, std::int32_t n) noexcept;

  // y (rows) = a (rows x cols) * x (cols); y(i) sums a(i, j) * x(j) for
  // j = 1 to cols from 0.0 (m_prod_vec1 and m_prod_vec_c alike).
  void (*prod_vec)(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept;

  // y (cols) = x (rows) as a row vector times a (rows x cols); y(i) sums
  // x(j) * a(j, i) for j = 1 to rows from 0.0.
  void (*prod_vec_left)(const float* x, const float* a, float* y, std::int32_t rows, std::int32_t cols) noexcept;

  // The fused running sum of x(i) * y(i) for i = 1 to n from 0.0. One chain
  // of dependent steps: no version can reorder it.
  float (*dot)(const float* x, const float* y, std::int32_t n) noexcept;

  // s - x[0]*y[0] - x[xs]*y[ys] - ... over `count` terms, in increasing order.
  float (*subtract_products)(float s, const float* x, std::ptrdiff_t x_stride, const float* y, std::ptrdiff_t y_stride,
                             std::int32_t count) noexcept;

  // y[t*ys] = y[t*ys] - f*x[t*xs] for t = 0 .. count-1.
  void (*subtract_scaled)(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                          std::int32_t count) noexcept;

  // The deflation's rank-one correction of b (n x n, column-major):
  // b(k, j) = b(k, j) - factor * (v(k) * v(j)), the inner product rounded
  // first and the update one fused step.
  void (*deflate_rank_one)(float* b, std::int32_t n, float factor, const float* v) noexcept;
};

const kernel_table& reference_kernels() noexcept;
const kernel_table& optimised_kernels() noexcept;
// The table every operation calls through.
const kernel_table& active_kernels() noexcept;

inline void prod_mat(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p,
                     std::int32_t n) noexcept {
  active_kernels().prod_mat(a, b, c, m, p, n);
}
inline void prod_vec(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept {
  active_kernels().prod_vec(a, x, y, rows, cols);
}
inline void prod_vec_left(const float* x, const float* a, float* y, std::int32_t rows, std::int32_t cols) noexcept {
  active_kernels().prod_vec_left(x, a, y, rows, cols);
}
inline float dot(const float* x, const float* y, std::int32_t n) noexcept { return active_kernels().dot(x, y, n); }
inline float subtract_products(float s, const float* x, std::ptrdiff_t x_stride, const float* y,
                               std::ptrdiff_t y_stride, std::int32_t count) noexcept {
  return active_kernels().subtract_products(s, x, x_stride, y, y_stride, count);
}
inline void subtract_scaled(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                            std::int32_t count) noexcept {
  active_kernels().subtract_scaled(y, y_stride, f, x, x_stride, count);
}
inline void deflate_rank_one(float* b, std::int32_t n, float factor, const float* v) noexcept {
  active_kernels().deflate_rank_one(b, n, factor, v);
}

}  // namespace orvik::kernels
