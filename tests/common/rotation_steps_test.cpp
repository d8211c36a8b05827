// The plane rotations and the hypot the eigenvalue solvers share skip the
// scaling by a power of two where every square is normal: those results
// must be the scaled steps' bits exactly, at the edges of the range too.

#include "common/power_of_two.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

namespace orvik {
namespace {

namespace steps {
#include "common/rotation_steps-inl.h"
}  // namespace steps

// The steps with the scaling always taken.
steps::rotation scaled_rotation(float f, float g) {
  const int e = detail::exponent_of(std::fabs(f) < std::fabs(g) ? std::fabs(g) : std::fabs(f));
  const float fs = detail::times_power_of_two(f, -e);
  const float gs = detail::times_power_of_two(g, -e);
  const float d = std::copysign(std::sqrt(std::fma(fs, fs, gs * gs)), fs);
  return {fs / d, gs / d, detail::times_power_of_two(d, e)};
}

float scaled_hypot(float x, float y) {
  const int e = detail::exponent_of(std::fabs(x) < std::fabs(y) ? std::fabs(y) : std::fabs(x));
  const float xs = detail::times_power_of_two(x, -e);
  const float ys = detail::times_power_of_two(y, -e);
  return detail::times_power_of_two(std::sqrt(std::fma(xs, xs, ys * ys)), e);
}

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

TEST(RotationSteps, UnscaledStepsGiveTheScaledBits) {
  std::mt19937 gen(4711);
  std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
  std::uniform_int_distribution<int> exponent(-70, 70);
  std::bernoulli_distribution negative(0.5);
  const auto draw = [&] {
    // Significands with short tails as well, where exact ties are likelier.
    float m = mantissa(gen);
    if (gen() % 4 == 0) m = 1.0f + static_cast<float>(gen() % 4096) * 0x1p-12f;
    const float x = std::ldexp(m, exponent(gen));
    return negative(gen) ? -x : x;
  };
  for (int t = 0; t < 400000; ++t) {
    const float f = draw();
    const float g = t % 3 == 0 ? f * std::ldexp(1.0f, -(t % 70)) : draw();
    const steps::rotation got = steps::make_rotation(f, g);
    const steps::rotation want = scaled_rotation(f, g);
    ASSERT_EQ(bits(got.c), bits(want.c)) << f << " " << g;
    ASSERT_EQ(bits(got.s), bits(want.s)) << f << " " << g;
    ASSERT_EQ(bits(got.r), bits(want.r)) << f << " " << g;
    ASSERT_EQ(bits(steps::hypot2(f, g)), bits(scaled_hypot(f, g))) << f << " " << g;
  }
}

TEST(RotationSteps, EdgesOfTheUnscaledRange) {
  for (const float big : {0x1p62f, 0x1.fffffep61f, 1.0f, 0x1p-62f, 0x1p-63f}) {
    for (const float ratio : {1.0f, 0x1p-62f, 0x1.000002p-62f, 0x1.fffffep-63f, 0x1p-100f}) {
      const float small = big * ratio;
      if (small == 0.0f) continue;
      for (const float f : {big, -big, small, -small}) {
        const float g = std::fabs(f) == big ? small : big;
        const steps::rotation got = steps::make_rotation(f, g);
        const steps::rotation want = scaled_rotation(f, g);
        EXPECT_EQ(bits(got.c), bits(want.c)) << f << " " << g;
        EXPECT_EQ(bits(got.s), bits(want.s)) << f << " " << g;
        EXPECT_EQ(bits(got.r), bits(want.r)) << f << " " << g;
        EXPECT_EQ(bits(steps::hypot2(f, g)), bits(scaled_hypot(f, g))) << f << " " << g;
      }
    }
  }
  // Zeros and infinities keep their own answers.
  EXPECT_EQ(steps::hypot2(0.0f, 0.0f), 0.0f);
  EXPECT_TRUE(std::isinf(steps::hypot2(INFINITY, 1.0f)));
  EXPECT_EQ(steps::make_rotation(0.0f, 3.0f).r, 3.0f);
  EXPECT_EQ(steps::make_rotation(3.0f, 0.0f).c, 1.0f);
}

}  // namespace
}  // namespace orvik
