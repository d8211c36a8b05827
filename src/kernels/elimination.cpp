// The optimised elimination updates of LU, Cholesky and Gauss-Jordan, the
// dot product and the deflation's rank-one correction. Each step is one
// fused multiply-add, in the reference order.

#include "kernels/kernels.hpp"
#include "kernels/optimised.hpp"

#include <cmath>
#include <cstddef>

namespace orvik::kernels {

ORVIK_FMA_CLONES float fast_dot(const float* x, const float* y, std::int32_t n) noexcept {
  float s = 0.0f;
  for (std::int32_t i = 0; i < n; ++i) s = std::fma(x[i], y[i], s);
  return s;
}

ORVIK_FMA_CLONES float fast_subtract_products(float s, const float* x, std::ptrdiff_t x_stride, const float* y,
                                              std::ptrdiff_t y_stride, std::int32_t count) noexcept {
  for (std::ptrdiff_t t = 0; t < count; ++t) {
    // Negating one factor is exact, so this is s - x*y with one rounding.
    s = std::fma(-x[t * x_stride], y[t * y_stride], s);
  }
  return s;
}

ORVIK_FMA_CLONES void fast_subtract_scaled(float* y, std::ptrdiff_t y_stride, float f, const float* x,
                                           std::ptrdiff_t x_stride, std::int32_t count) noexcept {
  const float minus_f = -f;
  for (std::ptrdiff_t t = 0; t < count; ++t) y[t * y_stride] = std::fma(minus_f, x[t * x_stride], y[t * y_stride]);
}

ORVIK_FMA_CLONES void fast_deflate_rank_one(float* b, std::int32_t n, float factor, const float* v) noexcept {
  // Column by column for locality; every element is still its own single
  // update.
  const float minus_factor = -factor;
  for (std::int32_t j = 0; j < n; ++j) {
    float* bj = b + static_cast<std::size_t>(j) * static_cast<std::size_t>(n);
    const float vj = v[j];
    for (std::int32_t k = 0; k < n; ++k) bj[k] = std::fma(minus_factor, v[k] * vj, bj[k]);
  }
}

const kernel_table& optimised_kernels() noexcept {
  static constexpr kernel_table table{"optimised", fast_prod_mat,          fast_prod_vec,        fast_prod_vec_left,
                                      fast_dot,    fast_subtract_products, fast_subtract_scaled, fast_deflate_rank_one};
  return table;
}

}  // namespace orvik::kernels
