// The wide accumulator: its software model must give the bits of the x87
// extended accumulator (64-bit significand, round to nearest even after every
// addition, one rounding to float32 at the end) on every platform.

#include <orvik/orvik.hpp>

#include "common/wide_sum.hpp"
#include "support/records.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <vector>

namespace orvik {
namespace {

template <class Sum>
float sum_of(const std::vector<float>& terms) {
  Sum s;
  for (float x : terms) s.add(x);
  return s.value();
}

std::uint32_t bits(float x) { return std::isnan(x) ? 0x7fc00000U : std::bit_cast<std::uint32_t>(x); }

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

struct edge_case {
  const char* what;
  std::vector<float> terms;
  float expected;  // what the x87 accumulator gives
};

const std::vector<edge_case>& edge_cases() {
  static const std::vector<edge_case> cases = {
      {"empty sum", {}, 0.0f},
      {"signed zeros start from +0", {-0.0f, -0.0f}, 0.0f},
      {"1 lost against 2^100, small term kept", {0x1p100f, 1.0f, -0x1p100f, 0x1p-30f}, 0x1p-30f},
      {"1 kept against 1e8", {1.0e8f, 1.0f, -1.0e8f}, 1.0f},
      {"64 bits exactly", {0x1p63f, 1.0f, -0x1p63f}, 1.0f},
      {"tie to even, upwards", {0x1p63f, 1.0f, 0.5f, -0x1p63f}, 2.0f},
      {"tie to even, downwards", {0x1p63f, 0.5f, -0x1p63f}, 0.0f},
      {"just above the tie", {0x1p63f, 0.50000006f, -0x1p63f}, 1.0f},
      {"borrow below the window", {0x1p64f, -0x1p-30f, -0x1p64f}, 0.0f},
      {"borrow past the tie", {0x1p64f, -0.50000006f, -0x1p64f}, -1.0f},
      {"exact tie on the borrow side", {0x1p64f, -0.5f, -0x1p64f}, 0.0f},
      {"far apart: subnormal lost against 1", {1.0f, 0x1p-149f, -1.0f}, 0.0f},
      {"subnormal terms add exactly", {0x1p-149f, 0x1p-149f, 0x1p-149f}, 0x1.8p-148f},
      {"largest subnormal from a cancellation", {0x1p-126f, -0x1p-149f}, 0x0.fffffep-126f},
      {"final rounding, tie to even", {1.0f, 0x1p-24f}, 1.0f},
      {"final rounding, above the tie", {1.0f, 0x1p-24f, 0x1p-60f}, 0x1.000002p0f},
      {"the wide sum's own rounding decides the tie", {1.0f, 0x1p-24f, 0x1p-70f}, 1.0f},
      {"no overflow in the wide sum", {3.0e38f, 3.0e38f, -3.0e38f}, 3.0e38f},
      {"overflow on the final rounding", {3.0e38f, 3.0e38f}, inf},
      {"infinity absorbs", {inf, 1.0f, -3.0e38f}, inf},
      {"negative infinity", {2.0f, -inf}, -inf},
      {"opposite infinities", {inf, 1.0f, -inf}, nan},
      {"NaN propagates", {1.0f, nan, 2.0f}, nan},
      {"cancellation down to the last of 64 bits", {0x1p64f, -1.0f, -0x1p64f}, -1.0f},
      {"exact cancellation gives +0", {-1.5f, 1.5f}, 0.0f},
      {"alternating signs around 1", {1.0f, -0x1p-40f, 0x1p-41f, -1.0f}, -0x1p-41f},
  };
  return cases;
}

TEST(WideSum, SoftwareModelGivesTheExtendedBitsOnEdgeCases) {
  for (const edge_case& c : edge_cases()) {
    EXPECT_EQ(bits(sum_of<detail::extended_sum_software>(c.terms)), bits(c.expected)) << c.what;
  }
}

TEST(WideSum, LongDoubleAgreesWhereItIsTheExtendedFormat) {
  if (!detail::long_double_is_x87_extended) GTEST_SKIP() << "long double is not the x87 format here";
  for (const edge_case& c : edge_cases()) {
    EXPECT_EQ(bits(sum_of<detail::extended_sum_native>(c.terms)), bits(c.expected)) << c.what;
  }
}

// A float of random sign and exponent (subnormals included), now and then an
// infinity or a NaN, or the negative of an earlier term so that sums cancel.
class term_source {
 public:
  explicit term_source(std::uint64_t seed) : state_(seed) {}

  float next(const std::vector<float>& earlier, std::int32_t exponent_span) {
    const std::uint64_t r = step();
    const auto pick = static_cast<std::uint32_t>(r % 64);
    if (pick == 0) return (r & 64) != 0 ? inf : -inf;
    if (pick == 1) return nan;
    if (pick < 20 && !earlier.empty()) return -earlier[(r >> 8) % earlier.size()];
    const auto low = static_cast<std::uint32_t>(r >> 32);
    const std::uint32_t centre = 127;
    const auto offset = static_cast<std::int32_t>((r >> 16) % static_cast<std::uint64_t>(2 * exponent_span + 1));
    const std::int32_t biased = static_cast<std::int32_t>(centre) + offset - exponent_span;
    const std::uint32_t e = biased < 0 ? 0U : biased > 254 ? 254U : static_cast<std::uint32_t>(biased);
    return std::bit_cast<float>((low & 0x807fffffU) | (e << 23));
  }

 private:
  std::uint64_t step() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  std::uint64_t state_;
};

TEST(WideSum, SoftwareModelMatchesLongDoubleOnRandomSums) {
  if (!detail::long_double_is_x87_extended) GTEST_SKIP() << "long double is not the x87 format here";
  term_source source(20240611);
  // Narrow spans make carries, ties and cancellations frequent; wide ones
  // reach the subnormals and the far ends of the window.
  for (const std::int32_t span : {2, 24, 70, 140, 200}) {
    for (int trial = 0; trial < 20000; ++trial) {
      std::vector<float> terms;
      const auto count = static_cast<std::size_t>(1 + trial % 40);
      while (terms.size() < count) terms.push_back(source.next(terms, span));
      const float soft = sum_of<detail::extended_sum_software>(terms);
      const float native = sum_of<detail::extended_sum_native>(terms);
      ASSERT_EQ(bits(soft), bits(native)) << "span " << span << ", trial " << trial;
    }
  }
}

// Every wide sum of the library goes through the accumulator.
TEST(WideSum, LibrarySumsKeepTheSmallTermAcross2To100) {
  const float expected = 0x1p-30f;
  const t_vector v = test::vector_of({0x1p100f, 1.0f, -0x1p100f, 0x1p-30f});
  EXPECT_EQ(v_sum(v), expected);
  const t_matrix column = test::matrix_of(4, 1, {0x1p100f, 1.0f, -0x1p100f, 0x1p-30f});
  EXPECT_EQ(m_sum(column), expected);
  EXPECT_EQ(m_sumcol(column, 1), expected);
  const t_matrix row = test::matrix_of(1, 4, {0x1p100f, 1.0f, -0x1p100f, 0x1p-30f});
  EXPECT_EQ(m_sumrow(row, 1), expected);
  const t_matrix diagonal = test::matrix_of(4, 4,
                                            {0x1p100f, 0, 0, 0,   //
                                             0, 1.0f, 0, 0,       //
                                             0, 0, -0x1p100f, 0,  //
                                             0, 0, 0, 0x1p-30f});
  EXPECT_EQ(m_trace(diagonal), expected);
}

}  // namespace
}  // namespace orvik
