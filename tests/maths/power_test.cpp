// The library's power function against C's special cases, against exact
// powers and midpoints worked out by hand, and bit for bit against GNU
// MPFR's correctly rounded x^y (sweeps over x for the exponents v_norm uses,
// a million random pairs, the multi-precision comparison on its own).

#include "maths/power.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#ifdef ORVIK_HAVE_MPFR
#include <mpfr.h>
#endif

namespace {

using orvik::detail::compare_power;
using orvik::detail::correctly_rounded_pow;
using orvik::detail::power_half;

constexpr float inf = std::numeric_limits<float>::infinity();
const float nan_value = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits_of(float v) { return std::bit_cast<std::uint32_t>(v); }
float from_bits(std::uint32_t b) { return std::bit_cast<float>(b); }

std::string show(float v) {
  char text[64];
  std::snprintf(text, sizeof text, "%a (0x%08x)", static_cast<double>(v), bits_of(v));
  return text;
}

// The same bits; every NaN result must be the one quiet NaN.
::testing::AssertionResult same_bits(float got, float want) {
  if (std::isnan(want)) {
    if (bits_of(got) == 0x7fc00000U) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << show(got) << ", want the quiet NaN 0x7fc00000";
  }
  if (bits_of(got) == bits_of(want)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << show(got) << ", want " << show(want);
}

// SplitMix64: the same pairs on every platform.
class pairs_source {
 public:
  pairs_source() = default;
  explicit pairs_source(std::uint64_t stream) : state_(seed + stream * 0x2545f4914f6cdd1dULL) {}
  std::uint64_t next() {
    state_ += 0x9e3779b97f4a7c15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }

 private:
  static constexpr std::uint64_t seed = 0x706f7765722d3031ULL;
  std::uint64_t state_ = seed;
};

// ------------------------------------------------------------ special cases

struct special_case {
  float x, y, want;
};

TEST(Power, SpecialCasesOfC) {
  const float tiny = from_bits(1);  // the smallest subnormal
  const std::vector<special_case> table = {
      // pow(x, +-0) = 1 for any x, a NaN too
      {nan_value, 0.0f, 1.0f},
      {nan_value, -0.0f, 1.0f},
      {-inf, 0.0f, 1.0f},
      {0.0f, -0.0f, 1.0f},
      {-3.5f, 0.0f, 1.0f},
      // pow(+1, y) = 1 for any y, a NaN too
      {1.0f, nan_value, 1.0f},
      {1.0f, inf, 1.0f},
      {1.0f, -inf, 1.0f},
      {1.0f, 123.456f, 1.0f},
      // NaN otherwise
      {nan_value, 1.0f, nan_value},
      {2.0f, nan_value, nan_value},
      {-1.0f, nan_value, nan_value},
      // pow(-1, +-inf) = 1
      {-1.0f, inf, 1.0f},
      {-1.0f, -inf, 1.0f},
      // (-1)^integer
      {-1.0f, 3.0f, -1.0f},
      {-1.0f, 4.0f, 1.0f},
      {-1.0f, 0x1p30f, 1.0f},
      {-1.0f, 0.5f, nan_value},
      // pow(+-0, y)
      {0.0f, -3.0f, inf},
      {-0.0f, -3.0f, -inf},
      {-0.0f, -2.0f, inf},
      {-0.0f, -0.5f, inf},
      {-0.0f, -inf, inf},
      {0.0f, -inf, inf},
      {0.0f, 3.0f, 0.0f},
      {-0.0f, 3.0f, -0.0f},
      {-0.0f, 2.0f, 0.0f},
      {-0.0f, 0.5f, 0.0f},
      {-0.0f, inf, 0.0f},
      {-0.0f, 0x1p40f, 0.0f},
      // pow(x, -inf) and pow(x, +inf)
      {0.5f, -inf, inf},
      {-0.5f, -inf, inf},
      {2.0f, -inf, 0.0f},
      {-2.0f, -inf, 0.0f},
      {0.5f, inf, 0.0f},
      {-0.5f, inf, 0.0f},
      {2.0f, inf, inf},
      {-2.0f, inf, inf},
      {tiny, inf, 0.0f},
      {-inf, inf, inf},
      {inf, -inf, 0.0f},
      // pow(-inf, y)
      {-inf, -3.0f, -0.0f},
      {-inf, -2.0f, 0.0f},
      {-inf, -0.5f, 0.0f},
      {-inf, 3.0f, -inf},
      {-inf, 2.0f, inf},
      {-inf, 0.5f, inf},
      // pow(+inf, y)
      {inf, -0.5f, 0.0f},
      {inf, -3.0f, 0.0f},
      {inf, 0.5f, inf},
      {inf, 3.0f, inf},
      // a negative finite x and a non-integer y
      {-2.0f, 0.5f, nan_value},
      {-8.0f, 1.0f / 3.0f, nan_value},
      {-tiny, 1.5f, nan_value},
      // a negative x and an integer y: the signed result
      {-2.0f, 3.0f, -8.0f},
      {-2.0f, 2.0f, 4.0f},
      {-2.0f, -1.0f, -0.5f},
      {-3.0f, 0x1p24f, inf},    // 2^24 is even
      {-0.5f, 151.0f, -0.0f},   // odd: the signed zero of an underflow
      {-2.0f, 129.0f, -inf},    // odd: the signed infinity of an overflow
      {-2.0f, -149.0f, -tiny},  // the smallest subnormal, negative
      // overflow and underflow
      {2.0f, 128.0f, inf},
      {2.0f, 127.0f, 0x1p127f},
      {2.0f, -149.0f, tiny},
      {2.0f, -150.0f, 0.0f},  // 2^-150 is a tie between 0 and 2^-149: even is 0
      {2.0f, -151.0f, 0.0f},
      {10.0f, 1e10f, inf},
      {10.0f, -1e10f, 0.0f},
      {0x1p-149f, 0x1p-149f, 1.0f},
      {3.4028235e38f, -1.0f, 0x1.000002p-128f},  // 1/FLT_MAX, subnormal, correctly rounded
  };
  for (const special_case& c : table) {
    EXPECT_TRUE(same_bits(correctly_rounded_pow(c.x, c.y), c.want)) << "pow(" << show(c.x) << ", " << show(c.y) << ")";
  }
}

TEST(Power, HalfPowerIsTheSquareRootWithPowsSpecialCases) {
  EXPECT_TRUE(same_bits(power_half(-0.0f), 0.0f));
  EXPECT_TRUE(same_bits(power_half(0.0f), 0.0f));
  EXPECT_TRUE(same_bits(power_half(-inf), inf));
  EXPECT_TRUE(same_bits(power_half(inf), inf));
  EXPECT_TRUE(same_bits(power_half(-1.0f), nan_value));
  EXPECT_TRUE(same_bits(power_half(-from_bits(1)), nan_value));
  EXPECT_TRUE(same_bits(power_half(nan_value), nan_value));
  EXPECT_TRUE(same_bits(power_half(-nan_value), nan_value));
  EXPECT_TRUE(same_bits(power_half(4.0f), 2.0f));
  // Every 509th encoding, positive and negative: the square root where it is
  // defined, and correctly_rounded_pow(x, 0.5) gives the same bits.
  for (std::uint64_t b = 0; b < (std::uint64_t{1} << 32); b += 509) {
    const float x = from_bits(static_cast<std::uint32_t>(b));
    const float half = power_half(x);
    if (x > 0.0f) {
      ASSERT_TRUE(same_bits(half, std::sqrt(x))) << show(x);
    }
    ASSERT_TRUE(same_bits(correctly_rounded_pow(x, 0.5f), half)) << show(x);
  }
}

// ------------------------------------------------------------ exact cases

struct exact_case {
  float x, y;
  double value;  // x^y exactly
};

// Exact powers (floats, ties between two floats, and numbers that need
// more than 25 bits), against their value rounded by the conversion from
// double, which rounds once, to nearest even; the comparison step finds
// them equal to their value, and above or below the floats around it.
TEST(Power, ExactPowersAndTies) {
  const std::vector<exact_case> cases = {
      {4097.0f, 2.0f, 16785409.0},              // 25 bits: a tie, to 16785408
      {257.0f, 3.0f, 16974593.0},               // a tie, to 16974592
      {66049.0f, 1.5f, 16974593.0},             // (257^2)^(3/2): a tie
      {707281.0f, 1.25f, 20511149.0},           // (29^4)^(5/4): a tie
      {3.0f, 15.0f, 14348907.0},                // 3^15 is a float
      {3.0f, 16.0f, 43046721.0},                // 26 bits, not a tie
      {-3.0f, 15.0f, -14348907.0},              // odd: negative
      {-4097.0f, 2.0f, 16785409.0},             // even: positive, a tie
      {0x3p-50f, 3.0f, 27.0 * 0x1p-150},        // a subnormal tie, to 14 * 2^-149
      {0x3p-75f, 2.0f, 9.0 * 0x1p-150},         // a subnormal tie, to 4 * 2^-149
      {0x1p-100f, 1.5f, 0x1p-150},              // the tie 2^-150, to 0
      {0x1p-60f, 2.5f, 0x1p-150},               // the same
      {0x1p75f, -2.0f, 0x1p-150},               // the same
      {0x1p-120f, 1.25f, 0x1p-150},             // the same
      {0x1p-74f, 2.0f, 0x1p-148},               // a subnormal float
      {0x1.fffffep127f, 1.0f, 0x1.fffffep127},  // x itself
      {0x1p126f, 0.5f, 0x1p63},                 // powers of two
      {0x1p-126f, -0.5f, 0x1p63},               //
      {0x1p-148f, 0.5f, 0x1p-74},               //
      {0x1p64f, 0.25f, 0x1p16},                 //
      {0x1p96f, 0.25f, 0x1p24},                 //
      {81.0f, 0.25f, 3.0},                      // 3^4
      {6561.0f, 0.125f, 3.0},                   // 3^8
      {1048576.0f, 0.75f, 32768.0},             // 2^20
      {9.0f, 1.5f, 27.0},                       //
      {225.0f, 0.5f, 15.0},                     //
      {16769025.0f, 0.5f, 4095.0},              // 4095^2
  };
  for (const exact_case& c : cases) {
    EXPECT_TRUE(same_bits(correctly_rounded_pow(c.x, c.y), static_cast<float>(c.value)))
        << "pow(" << show(c.x) << ", " << show(c.y) << ")";
    const float ax = std::fabs(c.x);
    const double magnitude = std::fabs(c.value);
    EXPECT_EQ(compare_power(ax, c.y, magnitude), 0) << show(c.x) << " " << show(c.y);
    const float r = std::fabs(static_cast<float>(c.value));
    for (const std::uint32_t b : {bits_of(r) - 1, bits_of(r), bits_of(r) + 1}) {
      const double m = static_cast<double>(from_bits(b));
      if (m <= 0.0 || std::isinf(m)) continue;
      const int want = magnitude > m ? 1 : (magnitude < m ? -1 : 0);
      EXPECT_EQ(compare_power(ax, c.y, m), want) << show(c.x) << " " << show(c.y) << " against " << m;
    }
  }
}

// ------------------------------------------------------------ MPFR oracle

#ifdef ORVIK_HAVE_MPFR

// MPFR's x^y rounded to binary32: 24 bits, binary32's exponent range and
// its subnormals, so that the value is rounded once.
class mpfr_power {
 public:
  mpfr_power() {
    mpfr_init2(x_, 24);
    mpfr_init2(y_, 24);
    mpfr_init2(r_, 24);
    emin_ = mpfr_get_emin();
    emax_ = mpfr_get_emax();
    mpfr_set_emin(-148);
    mpfr_set_emax(128);
  }
  ~mpfr_power() {
    mpfr_set_emin(emin_);
    mpfr_set_emax(emax_);
    mpfr_clear(x_);
    mpfr_clear(y_);
    mpfr_clear(r_);
  }
  mpfr_power(const mpfr_power&) = delete;
  mpfr_power& operator=(const mpfr_power&) = delete;

  // The correctly rounded x^y, and in `order` the sign of x^y - result.
  float pow(float x, float y, int* order = nullptr) {
    mpfr_set_flt(x_, x, MPFR_RNDN);
    mpfr_set_flt(y_, y, MPFR_RNDN);
    int inexact = mpfr_pow(r_, x_, y_, MPFR_RNDN);
    inexact = mpfr_subnormalize(r_, inexact, MPFR_RNDN);
    if (order != nullptr) *order = inexact > 0 ? -1 : (inexact < 0 ? 1 : 0);
    return mpfr_get_flt(r_, MPFR_RNDN);
  }

 private:
  mpfr_t x_, y_, r_;
  mpfr_exp_t emin_ = 0, emax_ = 0;
};

void check_against_mpfr(float x, float y, mpfr_power& mpfr, int& failures) {
  const float want = mpfr.pow(x, y);
  const float got = correctly_rounded_pow(x, y);
  if (!same_bits(got, want)) {
    if (++failures <= 20)
      ADD_FAILURE() << "pow(" << show(x) << ", " << show(y) << "): " << same_bits(got, want).message();
  }
}

#define ORVIK_NEEDS_MPFR() static_cast<void>(0)
#else
#define ORVIK_NEEDS_MPFR() GTEST_SKIP() << "GNU MPFR was not found when the tests were configured (libmpfr-dev)"
#endif

// The exponents of v_norm (1/p as a float) and -1/3: every 32771st positive
// encoding, every 2053rd subnormal, and the floats next to 1 on both sides.
class PowerSweep : public ::testing::TestWithParam<float> {};

TEST_P(PowerSweep, MatchesMpfr) {
  ORVIK_NEEDS_MPFR();
#ifdef ORVIK_HAVE_MPFR
  const float y = GetParam();
  mpfr_power mpfr;
  int failures = 0;
  for (std::uint32_t b = 0x00800000U; b <= 0x7f800000U; b += 32771) check_against_mpfr(from_bits(b), y, mpfr, failures);
  for (std::uint32_t b = 0; b < 0x00800000U; b += 2053) check_against_mpfr(from_bits(b), y, mpfr, failures);
  for (std::uint32_t k = 1; k < 2000; ++k) {
    check_against_mpfr(from_bits(0x3f800000U + k), y, mpfr, failures);
    check_against_mpfr(from_bits(0x3f800000U - k), y, mpfr, failures);
  }
  check_against_mpfr(from_bits(0x7f7fffffU), y, mpfr, failures);
  check_against_mpfr(from_bits(1), y, mpfr, failures);
  EXPECT_EQ(failures, 0);
#endif
}

std::string exponent_name(const ::testing::TestParamInfo<float>& info) {
  static const char* const names[] = {"third", "quarter", "fifth", "seventh", "half", "minus_third"};
  return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Exponents, PowerSweep,
                         ::testing::Values(1.0f / 3.0f, 1.0f / 4.0f, 1.0f / 5.0f, 1.0f / 7.0f, 0.5f, -1.0f / 3.0f),
                         exponent_name);

// The exact cases against MPFR as well (which finds ties exactly).
TEST(Power, ExactCasesMatchMpfr) {
  ORVIK_NEEDS_MPFR();
#ifdef ORVIK_HAVE_MPFR
  mpfr_power mpfr;
  int failures = 0;
  // Squares, cubes, fourth and eighth powers of every odd k that stays a
  // float, at several scales, with y the matching integer, 1/n and n/2^k.
  for (std::uint32_t k = 1; k < 4096; k += 2) {
    for (const int scale : {0, -40, 40, -100, -130}) {
      const auto kf = std::ldexp(static_cast<float>(k), scale / 4);
      check_against_mpfr(kf, 2.0f, mpfr, failures);
      check_against_mpfr(kf, 3.0f, mpfr, failures);
      check_against_mpfr(kf * kf, 0.5f, mpfr, failures);
      check_against_mpfr(kf * kf, 1.5f, mpfr, failures);
      check_against_mpfr(kf * kf, -0.5f, mpfr, failures);
      if (k < 256) {
        check_against_mpfr(kf * kf * kf, 1.0f / 3.0f, mpfr, failures);
        check_against_mpfr(kf * kf * kf * kf, 0.25f, mpfr, failures);
        check_against_mpfr(kf * kf * kf * kf, 1.25f, mpfr, failures);
        check_against_mpfr(kf * kf * kf * kf, 0.75f, mpfr, failures);
      }
      if (k < 8) check_against_mpfr(kf * kf * kf * kf * kf * kf * kf * kf, 0.125f, mpfr, failures);
    }
  }
  // Powers of two to every y = n/8 that keeps the result near the range.
  for (int a = -149; a <= 127; ++a) {
    for (int n = -64; n <= 64; ++n) {
      if (n != 0) check_against_mpfr(std::ldexp(1.0f, a), static_cast<float>(n) / 8.0f, mpfr, failures);
    }
  }
  // Small integers to every integer power up to 40, either sign of x.
  for (int x = -40; x <= 40; ++x) {
    for (int y = -40; y <= 40; ++y) check_against_mpfr(static_cast<float>(x), static_cast<float>(y), mpfr, failures);
  }
  EXPECT_EQ(failures, 0);
#endif
}

// A float drawn to reach every regime: any encoding, x near 1 with a large
// y, moderate x and y, exact-looking x and y = n/2^k.
void draw_pair(pairs_source& source, float& x, float& y) {
  switch (source.below(4)) {
    case 0:
      x = from_bits(static_cast<std::uint32_t>(source.next()));
      y = from_bits(static_cast<std::uint32_t>(source.next()));
      break;
    case 1: {
      const auto k = static_cast<std::int32_t>(source.below(1U << 20)) - (1 << 19);
      x = from_bits(0x3f800000U + static_cast<std::uint32_t>(k));
      y = std::ldexp(1.0f + static_cast<float>(source.below(1U << 23)) * 0x1p-23f,
                     static_cast<int>(source.below(40)) - 10) *
          (source.below(2) == 0 ? 1.0f : -1.0f);
      break;
    }
    case 2:
      x = from_bits(0x00800000U + source.below(0x7f000000U));
      y = std::ldexp(1.0f + static_cast<float>(source.below(1U << 23)) * 0x1p-23f,
                     static_cast<int>(source.below(12)) - 6) *
          (source.below(2) == 0 ? 1.0f : -1.0f);
      break;
    default:
      x = std::ldexp(static_cast<float>(source.below(1U << 12) | 1U), static_cast<int>(source.below(200)) - 100) *
          (source.below(4) == 0 ? -1.0f : 1.0f);
      y = std::ldexp(static_cast<float>(static_cast<std::int32_t>(source.below(64)) - 32),
                     -static_cast<int>(source.below(5)));
      break;
  }
}

// A million pairs in four quarters of their own streams, which ctest runs
// side by side.
class PowerRandomPairs : public ::testing::TestWithParam<int> {};

TEST_P(PowerRandomPairs, MatchMpfr) {
  ORVIK_NEEDS_MPFR();
#ifdef ORVIK_HAVE_MPFR
  mpfr_power mpfr;
  pairs_source source(static_cast<std::uint64_t>(GetParam()));
  int failures = 0;
  for (int i = 0; i < 250000; ++i) {
    float x = 0.0f;
    float y = 0.0f;
    draw_pair(source, x, y);
    check_against_mpfr(x, y, mpfr, failures);
  }
  EXPECT_EQ(failures, 0);
#endif
}

INSTANTIATE_TEST_SUITE_P(Quarters, PowerRandomPairs, ::testing::Values(1, 2, 3, 4));

// The exact and multi-precision steps on their own, which the power reaches
// only about once in 2^22 pairs: x^y against its correctly rounded value r
// (the sign MPFR's rounding gives) and against the midpoints on either side.
TEST(Power, MultiPrecisionComparisonMatchesMpfr) {
  ORVIK_NEEDS_MPFR();
#ifdef ORVIK_HAVE_MPFR
  mpfr_power mpfr;
  pairs_source source;
  int failures = 0;
  int compared = 0;
  while (compared < 3000) {
    float x = 0.0f;
    float y = 0.0f;
    draw_pair(source, x, y);
    x = std::fabs(x);
    if (!(x > 0.0f) || !std::isfinite(x) || !std::isfinite(y) || y == 0.0f) continue;
    int order = 0;
    const float r = mpfr.pow(x, y, &order);
    if (!(r >= 0x1p-126f) || !std::isfinite(r)) continue;
    ++compared;
    const std::uint32_t b = bits_of(r);
    const double below = 0.5 * (static_cast<double>(from_bits(b - 1)) + static_cast<double>(r));
    const double above = b + 1 == 0x7f800000U ? 0.5 * (static_cast<double>(r) + 0x1p128)
                                              : 0.5 * (static_cast<double>(r) + static_cast<double>(from_bits(b + 1)));
    const int at_r = compare_power(x, y, static_cast<double>(r));
    const int at_below = compare_power(x, y, below);
    const int at_above = compare_power(x, y, above);
    // A tie rounds to r, so x^y may equal one midpoint; otherwise it lies
    // strictly between them.
    const bool good = at_r == order && at_below >= 0 && at_above <= 0 && (at_below > 0 || at_above < 0);
    if (!good && ++failures <= 20) {
      ADD_FAILURE() << "pow(" << show(x) << ", " << show(y) << ") = " << show(r) << ": signs " << at_below << " "
                    << at_r << " " << at_above << ", MPFR's order " << order;
    }
  }
  EXPECT_EQ(failures, 0);
#endif
}

}  // namespace
