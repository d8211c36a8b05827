// The reference loops: the plain loops the operations describe, one
// std::fma per multiply-accumulate step, terms in increasing order. These
// are the contract every optimised version is tested against.

#include "kernels/kernels.hpp"

#include <cmath>
#include <cstddef>

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

void prod_vec_left_ref(const float* x, const float* a, float* y, std::int32_t rows, std::int32_t cols) noexcept {
  for (std::int32_t i = 0; i < cols; ++i) {
    float s = 0.0f;
    for (std::int32_t j = 0; j < rows; ++j) s = std::fma(x[j], a[idx(j, i, rows)], s);
    y[i] = s;
  }
}

float dot_ref(const float* x, const float* y, std::int32_t n) noexcept {
  float s = 0.0f;
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

void deflate_rank_one_ref(float* b, std::int32_t n, float factor, const float* v) noexcept {
  for (std::int32_t k = 0; k < n; ++k) {
    for (std::int32_t j = 0; j < n; ++j) {
      const float outer = v[k] * v[j];
      b[idx(k, j, n)] = std::fma(-factor, outer, b[idx(k, j, n)]);
    }
  }
}

}  // namespace

const kernel_table& reference_kernels() noexcept {
  static constexpr kernel_table table{"reference", prod_mat_ref,          prod_vec_ref,        prod_vec_left_ref,
                                      dot_ref,     subtract_products_ref, subtract_scaled_ref, deflate_rank_one_ref};
  return table;
}

}  // namespace orvik::kernels
