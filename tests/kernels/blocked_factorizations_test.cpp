// The blocked LU, Cholesky and Gauss-Jordan kernels against their
// row-by-row reference loops, bit for bit, on shapes around the panel
// widths (64 columns for LU and Cholesky, 32 for Gauss-Jordan, 512-column
// chunks), square, tall and wide, with special values, and through the
// public operations with and without `permute`.

#include "kernels/kernel_checks.hpp"
#include "kernels/kernels.hpp"

#include <gtest/gtest.h>
#include <orvik/decompositions.hpp>
#include <orvik/matrix.hpp>

#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace orvik {
namespace {

using test::same_bits;

const kernels::kernel_table& ref = kernels::reference_kernels();
const kernels::kernel_table& fast = kernels::optimised_kernels();

// Random entries with a heavy diagonal, so that the factors stay finite and
// every bit of them means something.
std::vector<float> dominant(std::mt19937& gen, std::int32_t rows, std::int32_t cols) {
  auto a = test::spread_values(gen, static_cast<std::size_t>(rows) * cols);
  for (std::int32_t i = 0; i < std::min(rows, cols); ++i) a[static_cast<std::size_t>(i) * rows + i] += 8192.0f;
  return a;
}

std::vector<float> symmetric_positive(std::mt19937& gen, std::int32_t n) {
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> a(static_cast<std::size_t>(n) * n);
  for (std::int32_t j = 0; j < n; ++j) {
    for (std::int32_t i = j; i < n; ++i) {
      const float v = i == j ? static_cast<float>(n) + value(gen) : value(gen);
      a[static_cast<std::size_t>(j) * n + i] = v;
      a[static_cast<std::size_t>(i) * n + j] = v;
    }
  }
  return a;
}

std::vector<float> lower_triangle(const std::vector<float>& a, std::int32_t n) {
  std::vector<float> out;
  for (std::int32_t j = 0; j < n; ++j) {
    for (std::int32_t i = j; i < n; ++i) out.push_back(a[static_cast<std::size_t>(j) * n + i]);
  }
  return out;
}

const std::pair<std::int32_t, std::int32_t> lu_shapes[] = {
    {1, 1},     {1, 9},    {9, 1},    {2, 3},    {3, 2},    {63, 63}, {64, 64}, {65, 65},  {127, 127},
    {129, 129}, {200, 70}, {70, 200}, {131, 67}, {67, 131}, {1, 150}, {150, 1}, {64, 200}, {200, 64}};

TEST(BlockedLu, MatchesTheRowByRowReference) {
  std::mt19937 gen(11);
  for (const auto& [r, c] : lu_shapes) {
    for (const bool heavy_diagonal : {true, false}) {
      auto a = heavy_diagonal ? dominant(gen, r, c) : test::spread_values(gen, static_cast<std::size_t>(r) * c);
      auto want = a;
      ref.lu(want.data(), r, c);
      fast.lu(a.data(), r, c);
      EXPECT_TRUE(same_bits(a, want)) << r << "x" << c << " heavy diagonal " << heavy_diagonal;
    }
  }
}

TEST(BlockedLu, MatchesTheReferenceWithZeroPivotsAndSpecialValues) {
  std::mt19937 gen(12);
  for (const auto& [r, c] : {std::pair{70, 70}, std::pair{100, 66}, std::pair{66, 100}}) {
    auto a = dominant(gen, r, c);
    test::sprinkle_specials(gen, a, 500);
    a[static_cast<std::size_t>(5) * r + 5] = 0.0f;  // a zero pivot: infinities spread
    auto want = a;
    ref.lu(want.data(), r, c);
    fast.lu(a.data(), r, c);
    EXPECT_TRUE(same_bits(a, want)) << r << "x" << c;
  }
}

TEST(BlockedLu, PublicFactorsMatchTheReferenceWithAndWithoutPermute) {
  std::mt19937 gen(13);
  for (const auto& [r, c] : {std::pair{65, 65}, std::pair{130, 70}, std::pair{70, 130}}) {
    t_matrix a;
    a.rows = r;
    a.cols = c;
    a.elements = test::spread_values(gen, static_cast<std::size_t>(r) * c);
    a.allocated = true;
    for (const bool permute : {false, true}) {
      const t_m_and_p permuted = m_permut(a, permute);
      auto want = permuted.M.elements;
      ref.lu(want.data(), r, c);
      const t_m_and_p compact = m_decomplu_m(a, permute);
      EXPECT_TRUE(same_bits(compact.M.elements, want)) << r << "x" << c << " permute " << permute;
      const t_lu lu = m_decomplu(a, permute);
      const std::int32_t m = std::min(r, c);
      for (std::int32_t j = 0; j < m; ++j) {
        for (std::int32_t i = j + 1; i < r; ++i) {
          ASSERT_EQ(test::canonical_bits(lu.L.elements[static_cast<std::size_t>(j) * r + i]),
                    test::canonical_bits(want[static_cast<std::size_t>(j) * r + i]));
        }
      }
      for (std::int32_t j = 0; j < c; ++j) {
        for (std::int32_t i = 0; i <= std::min(j, m - 1); ++i) {
          ASSERT_EQ(test::canonical_bits(lu.U.elements[static_cast<std::size_t>(j) * m + i]),
                    test::canonical_bits(want[static_cast<std::size_t>(j) * r + i]));
        }
      }
    }
  }
}

TEST(BlockedCholesky, MatchesTheReferenceOnTheLowerTriangle) {
  std::mt19937 gen(21);
  const float eps = 0x1p-24f;
  for (const std::int32_t n : {1, 2, 17, 63, 64, 65, 128, 129, 200}) {
    auto a = symmetric_positive(gen, n);
    auto want = a;
    ASSERT_TRUE(ref.cholesky(want.data(), n, eps)) << n;
    ASSERT_TRUE(fast.cholesky(a.data(), n, eps)) << n;
    EXPECT_TRUE(same_bits(lower_triangle(a, n), lower_triangle(want, n))) << n;
  }
}

TEST(BlockedCholesky, RefusesExactlyWhatTheReferenceRefuses) {
  std::mt19937 gen(22);
  const float eps = 0x1p-24f;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const std::int32_t n : {2, 40, 64, 65, 150}) {
    // A failing pivot in the first panel, in a later panel, the last one, a
    // NaN and a pivot equal to eps, and two failures at once.
    for (const std::int32_t bad : {0, 1, n / 2, n - 1}) {
      for (const float value : {-1.0f, 0.0f, nan, eps}) {
        auto a = symmetric_positive(gen, n);
        a[static_cast<std::size_t>(bad) * n + bad] = value;
        if (n > 60) a[static_cast<std::size_t>(n - 3) * n + (n - 3)] = -5.0f;
        auto want = a;
        EXPECT_EQ(fast.cholesky(a.data(), n, eps), ref.cholesky(want.data(), n, eps))
            << n << " pivot " << bad << " = " << value;
      }
    }
    // An update that drives a later pivot to zero: rows 0 and 1 equal.
    auto a = symmetric_positive(gen, n);
    for (std::int32_t j = 0; j < n; ++j) {
      a[static_cast<std::size_t>(j) * n + 1] = a[static_cast<std::size_t>(j) * n];
      a[static_cast<std::size_t>(1) * n + j] = a[static_cast<std::size_t>(j) * n];
    }
    auto want = a;
    EXPECT_EQ(fast.cholesky(a.data(), n, eps), ref.cholesky(want.data(), n, eps)) << n << " dependent rows";
  }
}

std::vector<float> identity(std::int32_t n) {
  std::vector<float> x(static_cast<std::size_t>(n) * n, 0.0f);
  for (std::int32_t i = 0; i < n; ++i) x[static_cast<std::size_t>(i) * n + i] = 1.0f;
  return x;
}

TEST(BlockedGaussJordan, InverseAndDeterminantMatchTheReference) {
  std::mt19937 gen(31);
  const float eps = 0x1p-24f;
  // Around the 32-column panels and past one 512-column chunk.
  for (const std::int32_t n : {1, 2, 31, 32, 33, 64, 65, 97, 530}) {
    auto a = test::spread_values(gen, static_cast<std::size_t>(n) * n);
    for (std::int32_t i = 0; i < n; ++i) a[static_cast<std::size_t>(i) * n + i] += 2.0f;
    auto t_ref = a;
    auto x_ref = identity(n);
    auto t_fast = a;
    auto x_fast = identity(n);
    ASSERT_TRUE(ref.gauss_jordan_inverse(t_ref.data(), x_ref.data(), n, eps)) << n;
    ASSERT_TRUE(fast.gauss_jordan_inverse(t_fast.data(), x_fast.data(), n, eps)) << n;
    EXPECT_TRUE(same_bits(x_fast, x_ref)) << n;

    auto d_ref = a;
    auto d_fast = a;
    EXPECT_EQ(test::canonical_bits(fast.gauss_jordan_det(d_fast.data(), n, eps)),
              test::canonical_bits(ref.gauss_jordan_det(d_ref.data(), n, eps)))
        << n;
  }
}

TEST(BlockedGaussJordan, SingularColumnsAndSpecialValuesMatchTheReference) {
  std::mt19937 gen(32);
  const float eps = 0x1p-24f;
  for (const std::int32_t n : {5, 40, 70}) {
    for (const std::int32_t dead : {0, n / 2, n - 1}) {
      // Column `dead` below eps everywhere: the inverse fails and the
      // determinant is 0 at the same step.
      auto a = test::spread_values(gen, static_cast<std::size_t>(n) * n);
      for (std::int32_t i = 0; i < n; ++i) a[static_cast<std::size_t>(dead) * n + i] = 1e-9f;
      auto t1 = a;
      auto x1 = identity(n);
      auto t2 = a;
      auto x2 = identity(n);
      EXPECT_EQ(fast.gauss_jordan_inverse(t1.data(), x1.data(), n, eps),
                ref.gauss_jordan_inverse(t2.data(), x2.data(), n, eps));
      auto d1 = a;
      auto d2 = a;
      EXPECT_EQ(test::canonical_bits(fast.gauss_jordan_det(d1.data(), n, eps)),
                test::canonical_bits(ref.gauss_jordan_det(d2.data(), n, eps)));
    }
    // Infinities and NaNs: NaN pivots are passed over, as the reference
    // does, and the results agree wherever it gets to.
    auto a = test::spread_values(gen, static_cast<std::size_t>(n) * n);
    test::sprinkle_specials(gen, a, 97);
    auto t1 = a;
    auto x1 = identity(n);
    auto t2 = a;
    auto x2 = identity(n);
    const bool ok = ref.gauss_jordan_inverse(t2.data(), x2.data(), n, eps);
    EXPECT_EQ(fast.gauss_jordan_inverse(t1.data(), x1.data(), n, eps), ok);
    if (ok) {
      EXPECT_TRUE(same_bits(x1, x2)) << n;
    }
  }
}

// Small integers make ties of magnitude everywhere, so the first of equal
// candidates must be the pivot; a NaN candidate is never one, and a NaN in
// the pivot row's place stays the pivot.
TEST(BlockedGaussJordan, PivotTiesAndNaNsMatchTheReference) {
  std::mt19937 gen(34);
  std::uniform_int_distribution<int> small(-2, 2);
  const float eps = 0x1p-24f;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const std::int32_t n : {5, 16, 17, 40, 70}) {
    for (const int nans : {0, 1, 2}) {
      std::vector<float> a(static_cast<std::size_t>(n) * n);
      for (float& x : a) x = static_cast<float>(small(gen));
      for (std::int32_t i = 0; i < n; ++i) a[static_cast<std::size_t>(i) * n + i] += 8.0f;
      // NaNs below the diagonal of an early column, or on the diagonal.
      if (nans == 1) a[static_cast<std::size_t>(1) * n + std::min(n - 1, 3)] = nan;
      if (nans == 2) a[static_cast<std::size_t>(2) * n + 2] = nan;
      auto t1 = a;
      auto x1 = identity(n);
      auto t2 = a;
      auto x2 = identity(n);
      const bool ok = ref.gauss_jordan_inverse(t2.data(), x2.data(), n, eps);
      ASSERT_EQ(fast.gauss_jordan_inverse(t1.data(), x1.data(), n, eps), ok) << n << " nans " << nans;
      if (ok) {
        EXPECT_TRUE(same_bits(x1, x2)) << n << " nans " << nans;
      }
      auto r1 = a;
      auto r2 = a;
      EXPECT_EQ(fast.gauss_jordan_rank(r1.data(), n, n, eps), ref.gauss_jordan_rank(r2.data(), n, n, eps))
          << n << " nans " << nans;
    }
  }
  // Low rank with integer factors: which rows are exchanged decides what is
  // left below each pivot.
  for (const auto& [r, c] : {std::pair{20, 37}, std::pair{37, 20}, std::pair{64, 64}, std::pair{70, 70}}) {
    for (const std::int32_t k : {1, 3, 9}) {
      std::vector<float> a(static_cast<std::size_t>(r) * c, 0.0f);
      std::vector<float> left(static_cast<std::size_t>(r) * k);
      std::vector<float> right(static_cast<std::size_t>(k) * c);
      for (float& x : left) x = static_cast<float>(small(gen));
      for (float& x : right) x = static_cast<float>(small(gen));
      for (std::int32_t j = 0; j < c; ++j) {
        for (std::int32_t l = 0; l < k; ++l) {
          for (std::int32_t i = 0; i < r; ++i) {
            a[static_cast<std::size_t>(j) * r + i] +=
                left[static_cast<std::size_t>(l) * r + i] * right[static_cast<std::size_t>(j) * k + l];
          }
        }
      }
      auto t1 = a;
      auto t2 = a;
      EXPECT_EQ(fast.gauss_jordan_rank(t1.data(), r, c, eps), ref.gauss_jordan_rank(t2.data(), r, c, eps))
          << r << "x" << c << " rank " << k;
    }
  }
}

TEST(BlockedGaussJordan, RankMatchesTheReference) {
  std::mt19937 gen(33);
  const float eps = 0x1p-24f;
  for (const auto& [r, c] : {std::pair{1, 1}, std::pair{5, 3}, std::pair{3, 5}, std::pair{16, 16}, std::pair{8, 20},
                             std::pair{16, 32}, std::pair{40, 40}, std::pair{70, 33}, std::pair{33, 70}}) {
    for (const int kind : {0, 1, 2}) {
      auto a = test::spread_values(gen, static_cast<std::size_t>(r) * c);
      if (kind == 1) {
        // Rank deficient: every column a combination of the first two.
        for (std::int32_t j = 2; j < c; ++j) {
          for (std::int32_t i = 0; i < r; ++i) {
            a[static_cast<std::size_t>(j) * r + i] =
                0.5f * a[static_cast<std::size_t>(i)] - 0.25f * a[static_cast<std::size_t>(r) * (c > 1) + i];
          }
        }
      } else if (kind == 2) {
        for (std::int32_t i = 0; i < r; ++i) a[static_cast<std::size_t>(i)] = 0.0f;  // a pivot-free first column
        test::sprinkle_specials(gen, a, 50);
      }
      auto t1 = a;
      auto t2 = a;
      EXPECT_EQ(fast.gauss_jordan_rank(t1.data(), r, c, eps), ref.gauss_jordan_rank(t2.data(), r, c, eps))
          << r << "x" << c << " kind " << kind;
    }
  }
}

}  // namespace
}  // namespace orvik
