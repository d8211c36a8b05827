// The scalar steps the eigenvalue solvers share: float's unit roundoff and
// smallest normal number, a scaled hypot and plane rotations that neither
// overflow nor underflow. Only correctly rounded operations and exact
// scalings by powers of two (power_of_two.hpp), so they have the same bits
// everywhere.
//
// No include guard: it is included inside the includer's namespace, once
// by eigen_internal.hpp and once per target by tridiagonal_ql-inl.h, where
// std::fma becomes the target's instruction. <cmath> and
// "common/power_of_two.hpp" are included first.

// The unit roundoff of float32 and the smallest normal float.
inline constexpr float eps = 0x1p-24f;
inline constexpr float safe_min = 0x1p-126f;

// The larger of two numbers that are not NaN.
inline float larger(float x, float y) { return x < y ? y : x; }

// Whether the squares of a pair whose magnitudes are big and small can be
// formed as they stand: x^2, y^2 and their sum are normal and finite both
// as they are and after the scaling below (the small one at least 2^-62
// times the big one). Scaling by a power of two then commutes with every
// rounding, so the unscaled steps give the scaled ones' bits exactly, and
// the chains of rotations skip the scaling.
inline bool squares_in_range(float big, float small) {
  return small >= 0x1p-63f && big < 0x1p62f && small >= big * 0x1p-62f;
}

// sqrt(x^2 + y^2) without overflow or harmful underflow: both scaled by the
// power of two that brings the larger into [0.5, 1).
inline float hypot2(float x, float y) {
  const float ax = std::fabs(x);
  const float ay = std::fabs(y);
  const float m = larger(ax, ay);
  if (squares_in_range(m, ax < ay ? ax : ay)) return std::sqrt(std::fma(x, x, y * y));
  if (m == 0.0f || std::isinf(m)) return m;
  const int e = ::orvik::detail::exponent_of(m);
  const float xs = ::orvik::detail::times_power_of_two(x, -e);
  const float ys = ::orvik::detail::times_power_of_two(y, -e);
  return ::orvik::detail::times_power_of_two(std::sqrt(std::fma(xs, xs, ys * ys)), e);
}

// A plane rotation with c f + s g = r and c g - s f = 0, c >= 0 (r takes
// f's sign): LAPACK's slartg, on the scaled pair.
struct rotation {
  float c;
  float s;
  float r;
};
inline rotation make_rotation(float f, float g) {
  if (g == 0.0f) return {1.0f, 0.0f, f};
  if (f == 0.0f) return {0.0f, 1.0f, g};
  const float af = std::fabs(f);
  const float ag = std::fabs(g);
  if (squares_in_range(larger(af, ag), af < ag ? af : ag)) {
    // f / d and g / d with d = copysign(root, f), the signs settled on the
    // numerators (exactly) so that the divisions start at the root.
    const float root = std::sqrt(std::fma(f, f, g * g));
    return {af / root, (f < 0.0f ? -g : g) / root, std::copysign(root, f)};
  }
  const int e = ::orvik::detail::exponent_of(larger(af, ag));
  const float fs = ::orvik::detail::times_power_of_two(f, -e);
  const float gs = ::orvik::detail::times_power_of_two(g, -e);
  const float d = std::copysign(std::sqrt(std::fma(fs, fs, gs * gs)), fs);
  return {fs / d, gs / d, ::orvik::detail::times_power_of_two(d, e)};
}
