#pragma once
// Column loops of the orthogonal factorizations whose steps are single
// rounded operations, never a fused multiply-add: the rounding of the
// scalings, quotients and differences those factorizations are written
// with. Each output depends on its own inputs only, so these loops are their
// own reference: the compiler may vectorise them across outputs and the bits
// stay those of the plain loop (the library is built with -ffp-contract=off).
//
// Where a tiny operand may make a product subnormal, a loop takes its
// through-double form (common/through_double.hpp): the same bits, without the
// processor's slow path for subnormal values.

#include "common/through_double.hpp"

#include <cstddef>
#include <cstdint>

namespace orvik::kernels {

namespace columns_detail {

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

// y(i) = x(i) * s, each product rounded.
inline void scale_into(float* y, const float* x, float s, std::int32_t n) noexcept {
  columns_detail::scale<false>(y, x, s, n);
}

// y(i) = s * y(i), each product rounded.
inline void scale_in_place(float* y, float s, std::int32_t n) noexcept { columns_detail::scale<false>(y, y, s, n); }

// y(i) = y(i) / d, each quotient rounded.
inline void divide_in_place(float* y, float d, std::int32_t n) noexcept { columns_detail::scale<true>(y, y, d, n); }

// h (n x n, column-major) = I - u v^T: each product u(i) v(j) rounded (as a
// product with one term stores it: fma(u, v, +0) and u * v agree, signed
// zeros included), then its difference from the identity's entry, as the
// difference of two matrices stores it.
inline void identity_minus_outer(float* h, const float* u, const float* v, std::int32_t n) noexcept {
  const bool tiny_u = detail::any_tiny(u, n);
  for (std::int32_t j = 0; j < n; ++j) {
    float* hj = h + static_cast<std::ptrdiff_t>(j) * n;
    if (tiny_u || detail::is_tiny(v[j])) {
      detail::scaled_through_double<false>(hj, u, v[j], n);
      for (std::int32_t i = 0; i < n; ++i) hj[i] = 0.0f - hj[i];
    } else {
      // 0 - p, not -p: a zero product gives +0 either way.
      for (std::int32_t i = 0; i < n; ++i) hj[i] = 0.0f - u[i] * v[j];
    }
    // The diagonal: 1 - p is 1 + (0 - p) (both are 1 for a zero p).
    hj[j] = 1.0f + hj[j];
  }
}

}  // namespace orvik::kernels
