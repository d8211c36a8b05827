// The optimised product loops. Column-major storage makes the k-outer, i-inner order
// the cache-friendly one; every output element still receives its terms in
// increasing k, one std::fma each, from a start of 0.0.

#include "kernels/optimised.hpp"

#include <cmath>
#include <cstddef>

namespace orvik::kernels {
namespace {

std::size_t idx(std::int32_t i, std::int32_t j, std::int32_t rows) {
  return static_cast<std::size_t>(j) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i);
}

}  // namespace

ORVIK_FMA_CLONES void fast_prod_mat(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p,
                                    std::int32_t n) noexcept {
  for (std::int32_t j = 0; j < n; ++j) {
    float* cj = c + idx(0, j, m);
    for (std::int32_t i = 0; i < m; ++i) cj[i] = 0.0f;
    for (std::int32_t k = 0; k < p; ++k) {
      const float bkj = b[idx(k, j, p)];
      const float* ak = a + idx(0, k, m);
      for (std::int32_t i = 0; i < m; ++i) cj[i] = std::fma(ak[i], bkj, cj[i]);
    }
  }
}

ORVIK_FMA_CLONES void fast_prod_vec(const float* a, const float* x, float* y, std::int32_t rows,
                                    std::int32_t cols) noexcept {
  // The row sums advance together, one column at a time.
  for (std::int32_t i = 0; i < rows; ++i) y[i] = 0.0f;
  for (std::int32_t j = 0; j < cols; ++j) {
    const float xj = x[j];
    const float* aj = a + idx(0, j, rows);
    for (std::int32_t i = 0; i < rows; ++i) y[i] = std::fma(aj[i], xj, y[i]);
  }
}

ORVIK_FMA_CLONES void fast_prod_vec_left(const float* x, const float* a, float* y, std::int32_t rows,
                                         std::int32_t cols) noexcept {
  // Each sum is one chain of dependent steps; four columns at a time give
  // the processor four independent chains to overlap.
  std::int32_t i = 0;
  for (; i + 4 <= cols; i += 4) {
    const float* a0 = a + idx(0, i, rows);
    const float* a1 = a + idx(0, i + 1, rows);
    const float* a2 = a + idx(0, i + 2, rows);
    const float* a3 = a + idx(0, i + 3, rows);
    float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
    for (std::int32_t j = 0; j < rows; ++j) {
      const float xj = x[j];
      s0 = std::fma(xj, a0[j], s0);
      s1 = std::fma(xj, a1[j], s1);
      s2 = std::fma(xj, a2[j], s2);
      s3 = std::fma(xj, a3[j], s3);
    }
    y[i] = s0;
    y[i + 1] = s1;
    y[i + 2] = s2;
    y[i + 3] = s3;
  }
  for (; i < cols; ++i) {
    const float* ai = a + idx(0, i, rows);
    float s = 0.0f;
    for (std::int32_t j = 0; j < rows; ++j) s = std::fma(x[j], ai[j], s);
    y[i] = s;
  }
}

}  // namespace orvik::kernels
