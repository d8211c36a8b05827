#pragma once
// What m_eig_sym and m_eig_gen share: the scaling of the input by a power of
// two, plane rotations that neither overflow nor underflow, and Householder
// reflectors. Only correctly rounded operations (+ - * / fma sqrt) and exact
// ones (fabs, copysign, frexp, ldexp), so every result has the same bits on
// every platform.

#include "common/power_of_two.hpp"
#include "kernels/kernels.hpp"
#include "matrix/matrix_internal.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace orvik::detail::eigen {

using detail::exponent_of;
using detail::scale_all_by_power_of_two;
using detail::times_power_of_two;

#include "common/rotation_steps-inl.h"

// The largest |x(i)|, 0 for an empty or zero x. The largest of numbers is
// the same in any order, so four running maxima share the work and hide
// each other's latency.
inline float max_magnitude(const float* x, std::ptrdiff_t count, std::ptrdiff_t stride = 1) {
  float m[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  std::ptrdiff_t i = 0;
  for (; i + 4 <= count; i += 4) {
    for (std::ptrdiff_t q = 0; q < 4; ++q) m[q] = larger(m[q], std::fabs(x[(i + q) * stride]));
  }
  for (; i < count; ++i) m[0] = larger(m[0], std::fabs(x[i * stride]));
  return larger(larger(m[0], m[1]), larger(m[2], m[3]));
}

// The index of the first entry of largest magnitude among x[0 .. n-1] (0
// when n is 0 or x[0] is NaN; a later NaN is passed over).
inline std::size_t first_largest_magnitude(const float* x, std::size_t n) {
  std::size_t big = 0;
  float best = n > 0 ? std::fabs(x[0]) : 0.0f;
  for (std::size_t i = 1; i < n; ++i) {
    const float a = std::fabs(x[i]);
    if (a > best) {
      best = a;
      big = i;
    }
  }
  return big;
}

// The Householder reflector H = I - tau u u^T with H (alpha, x) = (beta, 0),
// u = (1, v): x (count entries) is overwritten with v. Computed on the pair
// scaled so that its largest magnitude lies in [0.5, 1), so neither a huge
// nor a tiny column loses the reflector's orthogonality. A zero x gives
// tau = 0 (H = I) and beta = alpha.
struct reflector {
  float beta;
  float tau;
};
inline reflector make_reflector(float alpha, float* x, std::ptrdiff_t count, std::ptrdiff_t stride = 1) {
  const float xmax = max_magnitude(x, count, stride);
  if (xmax == 0.0f) return {alpha, 0.0f};
  const int e = exponent_of(larger(xmax, std::fabs(alpha)));
  float sum = 0.0f;
  if (stride == 1) {
    // The same steps: the scaling, then the squares' chain through the
    // kernels' dot product (fused steps in order from 0).
    scale_all_by_power_of_two(x, static_cast<std::size_t>(count), -e);
    sum = kernels::dot(x, x, static_cast<std::int32_t>(count));
  } else {
    for (std::ptrdiff_t i = 0; i < count; ++i) {
      const float xi = times_power_of_two(x[i * stride], -e);
      x[i * stride] = xi;
      sum = std::fma(xi, xi, sum);
    }
  }
  const float as = times_power_of_two(alpha, -e);
  const float bs = -std::copysign(std::sqrt(std::fma(as, as, sum)), as);
  const float tau = (bs - as) / bs;
  const float scale = as - bs;
  if (stride == 1) {
    for (std::ptrdiff_t i = 0; i < count; ++i) x[i] = x[i] / scale;
  } else {
    for (std::ptrdiff_t i = 0; i < count; ++i) x[i * stride] = x[i * stride] / scale;
  }
  return {times_power_of_two(bs, e), tau};
}

// The power of two 2^k that brings the largest magnitude m (finite, not
// zero) into [1, 2): the whole computation runs on the scaled matrix, so
// that no intermediate overflows or sinks below the smallest normal.
inline int scale_exponent(float m) { return 1 - exponent_of(m); }

// c (rows x cols, leading dimension ld) -= x y^T: c(i, j) = fma(-y(j), x(i),
// c(i, j)), a column at a time.
inline void subtract_outer(float* c, std::ptrdiff_t ld, std::int32_t rows, std::int32_t cols, const float* x,
                           const float* y) {
  for (std::int32_t j = 0; j < cols; ++j) {
    kernels::subtract_scaled(c + static_cast<std::ptrdiff_t>(j) * ld, 1, y[j], x, 1, rows);
  }
}

// z (n x n, column-major) = Q = H(0) H(1) ... H(n-3) for the reflectors of
// a reduction stored as LAPACK stores them: H(k) = I - tau(k) u u^T acts on
// rows k+1 .. n-1, u = (1, w(k+2 .., k)). Accumulated backwards on the
// transpose: Q^T H(k) is Y - (Y u)(tau u)^T, a product and a rank-one update
// (kernels::accumulate_reflectors).
inline void form_q(const std::vector<float>& w, const std::vector<float>& tau, std::int32_t n, std::vector<float>& z,
                   std::string_view allocate_message) {
  const auto un = static_cast<std::size_t>(n);
  kept_buffer y_storage(static_cast<std::int64_t>(n) * n, allocate_message);
  std::vector<float>& y = y_storage.get();
  for (std::size_t i = 0; i < un; ++i) y[i * un + i] = 1.0f;
  kernels::accumulate_reflectors(y.data(), n, w.data(), tau.data(), std::max(n - 2, 0));
  // The transpose in tiles, so that the rows read across stay in cache.
  constexpr std::size_t kTile = 32;
  for (std::size_t j0 = 0; j0 < un; j0 += kTile) {
    for (std::size_t i0 = 0; i0 < un; i0 += kTile) {
      for (std::size_t j = j0; j < std::min(un, j0 + kTile); ++j) {
        for (std::size_t i = i0; i < std::min(un, i0 + kTile); ++i) z[j * un + i] = y[i * un + j];
      }
    }
  }
}

}  // namespace orvik::detail::eigen
