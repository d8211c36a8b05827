// The optimised general product and matrix-vector kernels against their
// reference loops, bit for bit, on shapes that cross every register tile
// (2 vectors of rows by 1 to 6 or 12 columns) and cache block (256 terms, 192
// rows, 2040 columns) boundary, in every mode and operand layout, and on
// special values.

#include "kernels/kernel_checks.hpp"
#include "kernels/kernels.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace orvik {
namespace {

using kernels::gemm_mode;
using kernels::operand;
using test::same_bits;

const kernels::kernel_table& ref = kernels::reference_kernels();
const kernels::kernel_table& fast = kernels::optimised_kernels();

struct layout {
  bool a_transposed;
  bool b_transposed;
  std::int32_t pad;  // extra rows of every leading dimension
};

// Runs both tables on the same operands, stored as `lay` says, and compares
// the whole of c, padding rows included (they must stay untouched).
::testing::AssertionResult gemm_agrees(std::mt19937& gen, std::int32_t m, std::int32_t n, std::int32_t k,
                                       gemm_mode mode, layout lay, std::uint32_t special_every = 0) {
  const std::int32_t a_rows = (lay.a_transposed ? k : m) + lay.pad;
  const std::int32_t a_cols = lay.a_transposed ? m : k;
  const std::int32_t b_rows = (lay.b_transposed ? n : k) + lay.pad;
  const std::int32_t b_cols = lay.b_transposed ? k : n;
  const std::int32_t ldc = m + lay.pad;
  auto a = test::spread_values(gen, static_cast<std::size_t>(a_rows) * a_cols);
  auto b = test::spread_values(gen, static_cast<std::size_t>(b_rows) * b_cols);
  auto c = test::spread_values(gen, static_cast<std::size_t>(ldc) * n);
  if (special_every != 0) {
    test::sprinkle_specials(gen, a, special_every);
    test::sprinkle_specials(gen, b, special_every);
    test::sprinkle_specials(gen, c, special_every);
  }
  const operand ao = lay.a_transposed ? operand{a.data(), a_rows, 1} : operand{a.data(), 1, a_rows};
  const operand bo = lay.b_transposed ? operand{b.data(), b_rows, 1} : operand{b.data(), 1, b_rows};
  auto want = c;
  ref.gemm(m, n, k, ao, bo, want.data(), ldc, mode);
  fast.gemm(m, n, k, ao, bo, c.data(), ldc, mode);
  auto result = same_bits(c, want);
  if (!result) {
    result << " for " << m << "x" << n << "x" << k << " mode " << static_cast<int>(mode) << " transposed "
           << lay.a_transposed << lay.b_transposed << " pad " << lay.pad;
  }
  return result;
}

constexpr gemm_mode all_modes[] = {gemm_mode::assign, gemm_mode::add, gemm_mode::subtract};

TEST(GemmKernel, MatchesTheReferenceAcrossTileAndBlockBoundaries) {
  std::mt19937 gen(2024);
  const std::int32_t rows[] = {1, 7, 15, 16, 17, 31, 32, 33, 63, 97, 191, 192, 193, 200};
  const std::int32_t cols[] = {1, 5, 6, 7, 11, 12, 13, 25, 37};
  const std::int32_t terms[] = {1, 2, 3, 17, 255, 256, 257, 513};
  std::size_t t = 0;
  for (const std::int32_t m : rows) {
    for (const std::int32_t n : cols) {
      // A rotating choice of depth, mode and layout keeps the run short while
      // every one meets every size.
      const std::int32_t k = terms[t % std::size(terms)];
      const gemm_mode mode = all_modes[t % 3];
      const layout lay{(t / 3) % 2 == 1, (t / 6) % 2 == 1, static_cast<std::int32_t>(t % 4 == 0 ? 3 : 0)};
      ++t;
      EXPECT_TRUE(gemm_agrees(gen, m, n, k, mode, lay));
    }
  }
}

TEST(GemmKernel, MatchesTheReferenceOnThinFlatAndWideShapes) {
  std::mt19937 gen(99);
  // Very thin, very flat, long in the terms, and past the column block.
  const std::tuple<std::int32_t, std::int32_t, std::int32_t> shapes[] = {
      {1, 1, 1},   {1, 300, 4}, {300, 1, 4},  {2, 2, 1000}, {1, 1, 777},
      {389, 3, 2}, {3, 389, 2}, {5, 2041, 3}, {33, 13, 0},  {0, 5, 5}};
  for (const auto& [m, n, k] : shapes) {
    for (const gemm_mode mode : all_modes) {
      EXPECT_TRUE(gemm_agrees(gen, m, n, k, mode, layout{false, false, 0}));
      EXPECT_TRUE(gemm_agrees(gen, m, n, k, mode, layout{true, true, 1}));
    }
  }
}

TEST(GemmKernel, MatchesTheReferenceOnSpecialValues) {
  std::mt19937 gen(7);
  for (const auto& [m, n, k] : {std::tuple{33, 13, 20}, std::tuple{65, 25, 260}, std::tuple{5, 7, 3}}) {
    for (const gemm_mode mode : all_modes) {
      EXPECT_TRUE(gemm_agrees(gen, m, n, k, mode, layout{false, false, 0}, 9));
      EXPECT_TRUE(gemm_agrees(gen, m, n, k, mode, layout{false, true, 2}, 40));
    }
  }
}

TEST(GemmKernel, MatchesTheReferenceInEveryTileWidthWithAReadInPlace) {
  std::mt19937 gen(61);
  // Every width of the last register tile (1 .. 12 columns, twice over for
  // 6), column-major a and b read in place (whole slivers of rows, then a packed
  // partial one) up to a 48 KiB span and packed past it (128 rows by 96 and
  // by 97 terms), and tiny values in place.
  for (const auto& [m, k, pad] : {std::tuple{64, 40, 0}, std::tuple{40, 33, 0}, std::tuple{96, 64, 32},
                                  std::tuple{128, 96, 0}, std::tuple{128, 97, 0}, std::tuple{32, 1, 1}}) {
    for (std::int32_t n = 1; n <= 25; ++n) {
      const gemm_mode mode = all_modes[n % 3];
      EXPECT_TRUE(gemm_agrees(gen, m, n, k, mode, layout{false, n % 2 == 0, pad}));
    }
  }
  for (const std::int32_t n : {5, 12, 19}) {
    EXPECT_TRUE(gemm_agrees(gen, 64, n, 40, gemm_mode::add, layout{false, false, 0}, 7));
  }
}

TEST(GemmKernel, StartsFromPlusZeroAsTheReferenceDoes) {
  // (-1) * (+0) is -0; a sum started from +0.0 turns it into +0.
  const std::vector<float> a{-1.0f};
  const std::vector<float> b{0.0f};
  std::vector<float> c{5.0f};
  fast.gemm(1, 1, 1, operand{a.data(), 1, 1}, operand{b.data(), 1, 1}, c.data(), 1, gemm_mode::assign);
  EXPECT_TRUE(same_bits(c, {0.0f}));
  fast.prod_mat(a.data(), b.data(), c.data(), 1, 1, 1);
  EXPECT_TRUE(same_bits(c, {0.0f}));
}

TEST(ProductKernels, SquareProductsMatchTheReference) {
  std::mt19937 gen(31);
  for (const std::int32_t n : {1, 2, 31, 32, 33, 64, 100, 257}) {
    const auto a = test::spread_values(gen, static_cast<std::size_t>(n) * n);
    const auto b = test::spread_values(gen, static_cast<std::size_t>(n) * n);
    std::vector<float> want(static_cast<std::size_t>(n) * n);
    std::vector<float> got(want.size(), 7.0f);
    ref.prod_mat(a.data(), b.data(), want.data(), n, n, n);
    fast.prod_mat(a.data(), b.data(), got.data(), n, n, n);
    EXPECT_TRUE(same_bits(got, want)) << n;
  }
}

TEST(ProductKernels, MatrixVectorProductsMatchTheReference) {
  std::mt19937 gen(4242);
  // Around the eight-column sweeps, the lane counts and the 32-column groups
  // of the transposed product.
  const std::int32_t sizes[] = {1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 65, 131};
  for (const std::int32_t rows : sizes) {
    for (const std::int32_t cols : sizes) {
      for (const std::uint32_t specials : {0u, 11u}) {
        auto a = test::spread_values(gen, static_cast<std::size_t>(rows) * cols);
        auto x = test::spread_values(gen, static_cast<std::size_t>(cols));
        auto xl = test::spread_values(gen, static_cast<std::size_t>(rows));
        if (specials != 0) {
          test::sprinkle_specials(gen, a, specials);
          test::sprinkle_specials(gen, x, specials);
          test::sprinkle_specials(gen, xl, specials);
        }
        std::vector<float> want(static_cast<std::size_t>(rows));
        std::vector<float> got(want.size(), 9.0f);
        ref.prod_vec(a.data(), x.data(), want.data(), rows, cols);
        fast.prod_vec(a.data(), x.data(), got.data(), rows, cols);
        EXPECT_TRUE(same_bits(got, want)) << rows << "x" << cols;
        std::vector<float> want_left(static_cast<std::size_t>(cols));
        std::vector<float> got_left(want_left.size(), 9.0f);
        ref.prod_vec_left(xl.data(), a.data(), rows, want_left.data(), rows, cols);
        fast.prod_vec_left(xl.data(), a.data(), rows, got_left.data(), rows, cols);
        EXPECT_TRUE(same_bits(got_left, want_left)) << rows << "x" << cols;
      }
    }
  }
}

TEST(ProductKernels, ScaledSubtractionAndDeflationMatchTheReference) {
  std::mt19937 gen(5);
  for (const std::int32_t n : {1, 7, 16, 17, 40}) {
    auto x = test::spread_values(gen, static_cast<std::size_t>(n));
    auto y = test::spread_values(gen, static_cast<std::size_t>(n));
    test::sprinkle_specials(gen, x, 6);
    auto want = y;
    ref.subtract_scaled(want.data(), 1, 0.375f, x.data(), 1, n);
    fast.subtract_scaled(y.data(), 1, 0.375f, x.data(), 1, n);
    EXPECT_TRUE(same_bits(y, want)) << n;

    auto b = test::spread_values(gen, static_cast<std::size_t>(n) * n);
    auto want_b = b;
    ref.deflate_rank_one(want_b.data(), n, 1.7f, x.data());
    fast.deflate_rank_one(b.data(), n, 1.7f, x.data());
    EXPECT_TRUE(same_bits(b, want_b)) << n;
  }
}

}  // namespace
}  // namespace orvik
