#pragma once
// Column loops of the orthogonal factorizations whose steps are separately
// rounded operations (a scaled copy, then a difference), never a fused
// multiply-add: the rounding of the scalar products, differences and
// quotients those factorizations are written with. Each output depends on
// its own inputs only, so these loops are their own reference: the compiler
// may vectorise them across outputs and the bits stay those of the plain
// loop (the library is built with -ffp-contract=off).
//
// Where a tiny operand may make a product subnormal, a loop takes its
// through-double form (common/through_double.hpp): the same bits, without the
// processor's slow path for subnormal values.

#include "common/through_double.hpp"

#include <cstddef>
#include <cstdint>

namespace orvik::kernels {

namespace columns_detail {

// y(i) = y(i) - c * x(i), knowing whether x has a tiny value. A tiny
// factor's products go through double; the differences stay single (a
// subnormal operand of a sum costs nothing extra).
inline void subtract_rounded_scaled(float* y, float c, const float* x, std::int32_t n, bool tiny_x) noexcept {
  if (tiny_x || detail::is_tiny(c)) {
    constexpr std::int32_t block = 64;
    float products[block];
    for (std::int32_t i0 = 0; i0 < n; i0 += block) {
      const std::int32_t len = n - i0 < block ? n - i0 : block;
      detail::scaled_through_double<false>(products, x + i0, c, len);
      for (std::int32_t j = 0; j < len; ++j) y[i0 + j] = y[i0 + j] - products[j];
    }
    return;
  }
  for (std::int32_t i = 0; i < n; ++i) {
    const float p = c * x[i];
    y[i] = y[i] - p;
  }
}

// y(i) = x(i) * s (kQuotient: x(i) / s), each rounded; x and y may be the
// same.
template <bool kQuotient>
inline void scale(float* y, const float* x, float s, std::int32_t n) noexcept {
  if (detail::is_tiny(s) || detail::any_tiny(x, n)) {
    detail::scaled_through_double<kQuotient>(y, x, s, n);
    return;
  }
  for (std::int32_t i = 0; i < n; ++i) y[i] = kQuotient ? x[i] / s : x[i] * s;
}

}  // namespace columns_detail

// y(i) = y(i) - c * x(i): the product rounded, then the difference.
inline void subtract_rounded_scaled(float* y, float c, const float* x, std::int32_t n) noexcept {
  columns_detail::subtract_rounded_scaled(y, c, x, n, detail::any_tiny(x, n));
}

// The same for `count` columns of y (leading dimension ld), column t with
// the coefficient c(t): y(:, t) = y(:, t) - c(t) * x.
inline void subtract_rounded_outer(float* y, std::ptrdiff_t ld, const float* c, const float* x, std::int32_t n,
                                   std::int32_t count) noexcept {
  const bool tiny_x = detail::any_tiny(x, n);
  for (std::int32_t t = 0; t < count; ++t) columns_detail::subtract_rounded_scaled(y + t * ld, c[t], x, n, tiny_x);
}

// y(i) = x(i) * s, each product rounded.
inline void scale_into(float* y, const float* x, float s, std::int32_t n) noexcept {
  columns_detail::scale<false>(y, x, s, n);
}

// y(i) = s * y(i), each product rounded.
inline void scale_in_place(float* y, float s, std::int32_t n) noexcept { columns_detail::scale<false>(y, y, s, n); }

// y(i) = y(i) / d, each quotient rounded.
inline void divide_in_place(float* y, float d, std::int32_t n) noexcept { columns_detail::scale<true>(y, y, d, n); }

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
