#pragma once
// Single-precision operations carried out in double precision, with exactly
// the bits of the single-precision instruction (round to nearest even).
//
// On many x86 processors an arithmetic instruction whose operand or result is
// subnormal takes a microcode assist of tens of nanoseconds, while converting
// between float and double never does, and every float is a normal double.
// The iterations of the orthogonal factorizations drive many values into
// that range, so their loops take these forms wherever such values appear.
//
// Why the bits are the same:
// - a product of two floats has at most 48 significant bits: it is exact in
//   double, and the conversion to float is its one rounding;
// - a quotient of two floats rounded to double and then to float is rounded
//   as once, since 53 >= 2 * 24 + 2;
// - a fused step a*b + c is exact-product-plus-float, whose double rounding
//   could land on a midpoint between two floats and then round the wrong
//   way. It is rounded to odd instead (the neighbour whose last bit is 1
//   when the double sum is inexact), which keeps the side of every float
//   midpoint, so the conversion rounds it as the exact sum.
// NaN payloads may differ from the instruction's; every other bit agrees.

#include <bit>
#include <cmath>
#include <cstdint>

namespace orvik::detail {

// Below this magnitude (and not zero) a value may make a product or a fused
// step leave the normal range: 2^-60 * 2^-60 is still 2^6 above the
// smallest normal float.
inline constexpr float tiny_magnitude = 0x1p-60f;

[[nodiscard]] inline bool is_tiny(float x) noexcept { return x != 0.0f && std::fabs(x) < tiny_magnitude; }

// Some value of x[0 .. n) is tiny. (The loop has no early exit, so that it
// vectorises: it is meant to be cheap next to the loop it guards.)
[[nodiscard]] inline bool any_tiny(const float* x, std::int32_t n) noexcept {
  int found = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    found |= static_cast<int>(x[i] != 0.0f) & static_cast<int>(std::fabs(x[i]) < tiny_magnitude);
  }
  return found != 0;
}

// Compilers know that these double-precision forms give the float
// instruction's result and shrink them back to it; on x86, where that
// instruction is the slow one, the values are pinned in double registers or
// memory.
[[nodiscard]] inline double pinned(double x) noexcept {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  __asm__("" : "+x"(x));
#endif
  return x;
}
inline void pin_memory([[maybe_unused]] const double* wide) noexcept {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  __asm__ volatile("" : : "r"(wide) : "memory");
#endif
}

// out(i) = x(i) * s or x(i) / s for i < n, each rounded once, through double
// in blocks that the compiler vectorises (out may be x).
template <bool kQuotient>
inline void scaled_through_double(float* out, const float* x, float s, std::int32_t n) noexcept {
  constexpr std::int32_t block = 64;
  double wide[block];
  const double ws = s;
  for (std::int32_t i0 = 0; i0 < n; i0 += block) {
    const std::int32_t len = n - i0 < block ? n - i0 : block;
    for (std::int32_t j = 0; j < len; ++j) {
      const double xj = x[i0 + j];
      wide[j] = kQuotient ? xj / ws : xj * ws;
    }
    pin_memory(wide);
    for (std::int32_t j = 0; j < len; ++j) out[i0 + j] = static_cast<float>(wide[j]);
  }
}

[[nodiscard]] inline float product_through_double(float a, float b) noexcept {
  return static_cast<float>(pinned(static_cast<double>(a) * static_cast<double>(b)));
}

// s = p + c rounded to odd, where p and c are exact and the true sum is
// s + e (TwoSum): an inexact s whose last bit is 0 moves one step towards e.
[[nodiscard]] inline double rounded_to_odd(double s, double e) noexcept {
  if (e == 0.0 || !std::isfinite(s)) return s;
  auto bits = std::bit_cast<std::uint64_t>(s);
  if ((bits & 1U) != 0) return s;
  // Same sign: away from zero (a larger magnitude); otherwise towards it.
  const bool same_sign = std::signbit(s) == std::signbit(e);
  bits = same_sign ? bits + 1U : bits - 1U;
  return std::bit_cast<double>(bits);
}

// fma(a, b, c) for floats.
[[nodiscard]] inline float fused_through_double(float a, float b, float c) noexcept {
  const double p = static_cast<double>(a) * static_cast<double>(b);
  const double cd = c;
  const double s = p + cd;
  const double bp = s - p;
  const double e = (p - (s - bp)) + (cd - bp);
  return static_cast<float>(rounded_to_odd(s, e));
}

}  // namespace orvik::detail
