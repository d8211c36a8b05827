// The transposed matrix-vector product y = x^T a against its reference loop,
// bit for bit, across the shapes where the fast kernel changes its blocking:
// eight-row steps, groups of eight columns, and the group counts it picks
// for short, middle and long columns.

#include "kernel_checks.hpp"
#include "kernels/kernels.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace orvik {
namespace {

using test::same_bits;

const kernels::kernel_table& ref = kernels::reference_kernels();
const kernels::kernel_table& fast = kernels::optimised_kernels();

::testing::AssertionResult left_product_matches(const std::vector<float>& x, const std::vector<float>& a,
                                                std::int32_t rows, std::int32_t cols, std::ptrdiff_t ld = 0) {
  if (ld == 0) ld = rows;
  std::vector<float> want(static_cast<std::size_t>(cols));
  std::vector<float> got(want.size(), 5.0f);
  ref.prod_vec_left(x.data(), a.data(), ld, want.data(), rows, cols);
  fast.prod_vec_left(x.data(), a.data(), ld, got.data(), rows, cols);
  return same_bits(got, want);
}

TEST(TransposedProduct, MatchesTheReferenceAcrossTheBlocking) {
  std::mt19937 gen(2718);
  // Rows: around the eight-row steps and the column lengths where the
  // number of column groups changes; columns: around 8, 16, 24, 32 and
  // their multiples.
  const std::int32_t row_counts[] = {1, 7, 8, 9, 61, 383, 384, 385, 767, 768, 769, 1031};
  const std::int32_t col_counts[] = {1, 7, 8, 9, 15, 16, 17, 23, 24, 25, 31, 32, 33, 41, 47, 49, 63, 73, 97};
  for (const std::int32_t rows : row_counts) {
    for (const std::int32_t cols : col_counts) {
      const auto a = test::spread_values(gen, static_cast<std::size_t>(rows) * cols);
      const auto x = test::spread_values(gen, static_cast<std::size_t>(rows));
      EXPECT_TRUE(left_product_matches(x, a, rows, cols)) << rows << "x" << cols;
    }
  }
}

// Columns further apart than the rows, their padding NaN (never read), with
// plain and with tiny values of x (the careful steps).
TEST(TransposedProduct, LeadingDimensionBeyondTheRows) {
  std::mt19937 gen(577);
  for (const std::int32_t rows : {1, 8, 13, 100, 400}) {
    for (const std::int32_t cols : {1, 9, 33, 40}) {
      for (const bool tiny : {false, true}) {
        const std::ptrdiff_t ld = rows + 3;
        std::vector<float> a(static_cast<std::size_t>(ld) * cols, std::numeric_limits<float>::quiet_NaN());
        const auto values = test::spread_values(gen, a.size());
        for (std::int32_t c = 0; c < cols; ++c) {
          for (std::int32_t r = 0; r < rows; ++r) {
            const auto at = static_cast<std::size_t>(r + c * ld);
            a[at] = values[at];
          }
        }
        auto x = test::spread_values(gen, static_cast<std::size_t>(rows));
        if (tiny) x[0] = 1e-40f;
        EXPECT_TRUE(left_product_matches(x, a, rows, cols, ld)) << rows << "x" << cols << " tiny " << tiny;
      }
    }
  }
}

TEST(TransposedProduct, ThinAndFlatShapes) {
  std::mt19937 gen(1618);
  const std::pair<std::int32_t, std::int32_t> shapes[] = {{4099, 3}, {2053, 9}, {3, 4099}, {9, 2053}, {2, 517}};
  for (const auto& [rows, cols] : shapes) {
    const auto a = test::spread_values(gen, static_cast<std::size_t>(rows) * cols);
    const auto x = test::spread_values(gen, static_cast<std::size_t>(rows));
    EXPECT_TRUE(left_product_matches(x, a, rows, cols)) << rows << "x" << cols;
  }
}

// NaN, infinities, signed zeros and subnormals in both operands: an
// infinity times zero, or opposite infinities, must turn the chain into NaN
// at the same term as the reference.
TEST(TransposedProduct, SpecialValuesFollowTheReference) {
  std::mt19937 gen(577);
  for (const std::int32_t rows : {8, 13, 400, 800}) {
    for (const std::int32_t cols : {9, 24, 35}) {
      for (const std::uint32_t every : {3u, 17u}) {
        auto a = test::spread_values(gen, static_cast<std::size_t>(rows) * cols);
        auto x = test::spread_values(gen, static_cast<std::size_t>(rows));
        test::sprinkle_specials(gen, a, every);
        test::sprinkle_specials(gen, x, every);
        EXPECT_TRUE(left_product_matches(x, a, rows, cols)) << rows << "x" << cols << " every " << every;
      }
    }
  }
  // -0 products onto the +0 start give +0, not -0; subnormal products
  // are kept, not flushed.
  const std::int32_t rows = 19;
  const std::int32_t cols = 17;
  std::vector<float> x(static_cast<std::size_t>(rows), -0.0f);
  std::vector<float> a(static_cast<std::size_t>(rows) * cols, 1.0f);
  EXPECT_TRUE(left_product_matches(x, a, rows, cols));
  x.assign(x.size(), 0.5f);
  a.assign(a.size(), std::numeric_limits<float>::denorm_min() * 4.0f);
  EXPECT_TRUE(left_product_matches(x, a, rows, cols));
}

}  // namespace
}  // namespace orvik
