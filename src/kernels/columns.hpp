#pragma once
// Column loops of the orthogonal factorizations whose steps are separately
// rounded operations (a scaled copy, then a difference), never a fused
// multiply-add: the rounding of the scalar products, differences and
// quotients those factorizations are written with. Each output depends on
// its own inputs only, so these loops are their own reference: the compiler
// may vectorise them across outputs and the bits stay those of the plain
// loop (the library is built with -ffp-contract=off).

#include <cstddef>
#include <cstdint>

namespace orvik::kernels {

// y(i) = y(i) - c * x(i): the product rounded, then the difference.
inline void subtract_rounded_scaled(float* y, float c, const float* x, std::int32_t n) noexcept {
  for (std::int32_t i = 0; i < n; ++i) {
    const float p = c * x[i];
    y[i] = y[i] - p;
  }
}

// The same for `count` columns of y (leading dimension ld), column t with
// the coefficient c(t): y(:, t) = y(:, t) - c(t) * x.
inline void subtract_rounded_outer(float* y, std::ptrdiff_t ld, const float* c, const float* x, std::int32_t n,
                                   std::int32_t count) noexcept {
  for (std::int32_t t = 0; t < count; ++t) subtract_rounded_scaled(y + t * ld, c[t], x, n);
}

// y(i) = x(i) * s, each product rounded.
inline void scale_into(float* y, const float* x, float s, std::int32_t n) noexcept {
  for (std::int32_t i = 0; i < n; ++i) y[i] = x[i] * s;
}

// y(i) = s * y(i), each product rounded.
inline void scale_in_place(float* y, float s, std::int32_t n) noexcept {
  for (std::int32_t i = 0; i < n; ++i) y[i] = s * y[i];
}

// y(i) = x(i) / d, each quotient rounded.
inline void divide_in_place(float* y, float d, std::int32_t n) noexcept {
  for (std::int32_t i = 0; i < n; ++i) y[i] = y[i] / d;
}

// h (n x n, column-major) = I - h, each entry the rounded difference of the
// identity's entry and h's, as the difference of two matrices stores it.
inline void identity_minus(float* h, std::int32_t n) noexcept {
  for (std::int32_t j = 0; j < n; ++j) {
    float* hj = h + static_cast<std::ptrdiff_t>(j) * n;
    for (std::int32_t i = 0; i < n; ++i) {
      const float identity = i == j ? 1.0f : 0.0f;
      hj[i] = identity - hj[i];
    }
  }
}

}  // namespace orvik::kernels
