#pragma once
// The library's power function: correctly rounded x^y (to nearest, ties to
// even) for every pair of floats, the same bits on every platform and C
// library, with the special cases of C's powf (C11 Annex F, F.10.4.4).
// Every NaN result is the quiet NaN 0x7fc00000.

namespace orvik::detail {

// x^y correctly rounded.
float correctly_rounded_pow(float x, float y) noexcept;

// x^(1/2): the IEEE square root, with pow's special cases (pow(-0, 1/2) =
// +0, pow(-inf, 1/2) = +inf, NaN for x < 0). correctly_rounded_pow(x, 0.5f)
// gives the same bits.
float power_half(float x) noexcept;

// The sign of x^y - m (-1, 0 or 1) for a positive finite float x, a finite
// non-zero float y and m in [2^-150, 2^128] with at most 26 significant
// bits (a float, or a midpoint between two): the exact and multi-precision
// steps of correctly_rounded_pow, for the tests.
int compare_power(float x, float y, double m) noexcept;

}  // namespace orvik::detail
