#pragma once
// Exact scaling by powers of two, and the Euclidean length that uses it to
// keep every square clear of overflow and underflow. Only exact operations
// and correctly rounded ones, so the results are the same on every platform.

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace orvik::detail {

// The exponent e with |x| = f 2^e, f in [0.5, 1), for a finite nonzero x
// (frexp's), read from the bits where x is normal.
inline int exponent_of(float x) {
  const auto biased = static_cast<int>((std::bit_cast<std::uint32_t>(x) >> 23) & 0xffU);
  if (biased != 0) return biased - 126;
  int e = 0;
  static_cast<void>(std::frexp(x, &e));
  return e;
}

// x 2^k, as ldexp gives it: one multiplication by an exact power of two is
// correctly rounded, so only a factor beyond float's range needs two steps.
inline float times_power_of_two(float x, int k) {
  const auto power = [](int e) {
    return e >= -126 ? std::bit_cast<float>(static_cast<std::uint32_t>(e + 127) << 23)
                     : std::bit_cast<float>(std::uint32_t{1} << static_cast<unsigned>(e + 149));
  };
  if (k > 127) return (x * power(127)) * power(k - 127);
  if (k < -149) return std::ldexp(x, k);
  return x * power(k);
}

// Every x(i) 2^k, as times_power_of_two gives each: where 2^k is a float,
// one product each with the factor made once, a loop the compiler can
// vectorise.
inline void scale_all_by_power_of_two(float* x, std::size_t n, int k) {
  if (k < -126 || k > 127) {
    for (std::size_t i = 0; i < n; ++i) x[i] = times_power_of_two(x[i], k);
    return;
  }
  const float factor = times_power_of_two(1.0f, k);
  for (std::size_t i = 0; i < n; ++i) x[i] = x[i] * factor;
}

// The Euclidean length of x[0], x[stride], ... (n values): every value
// scaled by the power of two of the largest magnitude, the squares summed
// in order from 0, one fused step each, the root scaled back. NaN where a
// value is NaN; 0 and infinity where the largest magnitude is.
inline float scaled_length(const float* x, std::ptrdiff_t stride, std::int32_t n) {
  float big = 0.0f;
  for (std::int32_t i = 0; i < n; ++i) {
    const float a = std::fabs(x[i * stride]);
    if (std::isnan(a)) return a;
    big = a > big ? a : big;
  }
  if (big == 0.0f || std::isinf(big)) return big;
  const int e = exponent_of(big);
  float s = 0.0f;
  for (std::int32_t i = 0; i < n; ++i) {
    const float y = times_power_of_two(x[i * stride], -e);
    s = std::fma(y, y, s);
  }
  return times_power_of_two(std::sqrt(s), e);
}

}  // namespace orvik::detail
