// The eigenvalue routines' update kernels, optimised against reference, bit
// for bit: orders and leading dimensions that cross every vector and
// register-block boundary, both rotation directions, both reflector orders,
// special values; and the exact symmetry the two-sided update keeps.

#include "kernels/kernel_checks.hpp"
#include "kernels/kernels.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace orvik {
namespace {

using test::same_bits;

const kernels::kernel_table& ref = kernels::reference_kernels();
const kernels::kernel_table& fast = kernels::optimised_kernels();

TEST(EigenUpdateKernels, SymmetricRankTwoMatchesReference) {
  std::mt19937 gen(812);
  for (std::int32_t m = 0; m <= 70; ++m) {
    for (const std::int32_t pad : {0, 3}) {
      SCOPED_TRACE(::testing::Message() << "m=" << m << " pad=" << pad);
      const std::ptrdiff_t lda = m + pad;
      auto a = test::spread_values(gen, static_cast<std::size_t>(lda) * m + 1);
      auto v = test::spread_values(gen, static_cast<std::size_t>(m) + 1);
      auto w = test::spread_values(gen, static_cast<std::size_t>(m) + 1);
      if (m % 7 == 3) {
        test::sprinkle_specials(gen, a, 9);
        test::sprinkle_specials(gen, v, 9);
      }
      auto a_ref = a;
      ref.symmetric_rank_two(a_ref.data(), lda, m, v.data(), w.data());
      fast.symmetric_rank_two(a.data(), lda, m, v.data(), w.data());
      EXPECT_TRUE(same_bits(a, a_ref));
    }
  }
}

TEST(EigenUpdateKernels, SymmetricRankTwoKeepsExactSymmetry) {
  std::mt19937 gen(99);
  const std::int32_t m = 37;
  auto a = test::spread_values(gen, static_cast<std::size_t>(m) * m);
  for (std::int32_t j = 0; j < m; ++j)
    for (std::int32_t i = 0; i < j; ++i)
      a[static_cast<std::size_t>(j) * m + i] = a[static_cast<std::size_t>(i) * m + j];
  const auto v = test::spread_values(gen, m);
  const auto w = test::spread_values(gen, m);
  fast.symmetric_rank_two(a.data(), m, m, v.data(), w.data());
  for (std::int32_t j = 0; j < m; ++j)
    for (std::int32_t i = 0; i < j; ++i)
      ASSERT_EQ(test::canonical_bits(a[static_cast<std::size_t>(j) * m + i]),
                test::canonical_bits(a[static_cast<std::size_t>(i) * m + j]));
}

TEST(EigenUpdateKernels, RotateColumnsMatchesReference) {
  std::mt19937 gen(4711);
  std::uniform_real_distribution<float> angle(-1.0f, 1.0f);
  for (const std::int32_t rows : {0, 1, 5, 7, 8, 15, 16, 17, 31, 63, 64, 65, 67, 129, 255, 256, 257, 400, 529}) {
    for (const std::int32_t count : {0, 1, 2, 5, 12}) {
      for (const bool forward : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "rows=" << rows << " count=" << count << " forward=" << forward);
        const std::ptrdiff_t ldz = rows + 2;
        auto z = test::spread_values(gen, static_cast<std::size_t>(ldz) * (count + 1));
        if (rows % 5 == 2) test::sprinkle_specials(gen, z, 11);
        std::vector<float> c(static_cast<std::size_t>(count) + 1);
        std::vector<float> s(c.size());
        for (std::size_t j = 0; j < c.size(); ++j) {
          c[j] = angle(gen);
          s[j] = angle(gen);
        }
        auto z_ref = z;
        ref.rotate_eigenvectors(z_ref.data(), ldz, rows, count, c.data(), s.data(), forward);
        fast.rotate_eigenvectors(z.data(), ldz, rows, count, c.data(), s.data(), forward);
        EXPECT_TRUE(same_bits(z, z_ref));
      }
    }
  }
}

TEST(EigenUpdateKernels, SmallReflectorsMatchReference) {
  std::mt19937 gen(2024);
  for (const std::int32_t nr : {2, 3}) {
    for (std::int32_t len = 0; len <= 40; ++len) {
      SCOPED_TRACE(::testing::Message() << "nr=" << nr << " len=" << len);
      const auto f = test::spread_values(gen, 5);
      const std::ptrdiff_t ld = len + 3;
      auto x = test::spread_values(gen, static_cast<std::size_t>(ld) * 3);
      if (len % 6 == 1) test::sprinkle_specials(gen, x, 7);
      auto x_ref = x;
      ref.reflect_columns(x_ref.data(), ld, len, nr, f.data());
      fast.reflect_columns(x.data(), ld, len, nr, f.data());
      EXPECT_TRUE(same_bits(x, x_ref));
      auto y = test::spread_values(gen, static_cast<std::size_t>(5) * (len + 1));
      auto y_ref = y;
      ref.reflect_rows(y_ref.data(), 5, len, nr, f.data());
      fast.reflect_rows(y.data(), 5, len, nr, f.data());
      EXPECT_TRUE(same_bits(y, y_ref));
    }
  }
}

// Sequences of reflectors: lengths across the vector and four-vector blocks
// and their tails, counts from none to past one chase segment, leading
// dimensions with and without padding.
TEST(EigenUpdateKernels, ReflectorSequencesMatchReference) {
  std::mt19937 gen(77);
  for (const std::int32_t count : {0, 1, 2, 7, 33}) {
    for (const std::int32_t len : {0, 1, 7, 8, 15, 16, 17, 31, 63, 64, 65, 70}) {
      SCOPED_TRACE(::testing::Message() << "count=" << count << " len=" << len);
      const auto f = test::spread_values(gen, 5 * static_cast<std::size_t>(count) + 1);
      const std::ptrdiff_t ld = len + 1 + count % 2;
      auto x = test::spread_values(gen, static_cast<std::size_t>(ld) * (count + 2));
      if (len % 5 == 2) test::sprinkle_specials(gen, x, 5);
      auto x_ref = x;
      ref.reflect_columns_sequence(x_ref.data(), ld, len, count, f.data());
      fast.reflect_columns_sequence(x.data(), ld, len, count, f.data());
      EXPECT_TRUE(same_bits(x, x_ref));
      const std::ptrdiff_t ldy = count + 2 + len % 3;
      auto y = test::spread_values(gen, static_cast<std::size_t>(ldy) * len + 1);
      auto y_ref = y;
      ref.reflect_rows_sequence(y_ref.data(), ldy, len, count, f.data());
      fast.reflect_rows_sequence(y.data(), ldy, len, count, f.data());
      EXPECT_TRUE(same_bits(y, y_ref));
    }
  }
}

// The reflectors accumulated onto the identity: orders across the vector
// and row-block boundaries, some reflectors skipped.
TEST(EigenUpdateKernels, AccumulatedReflectorsMatchReference) {
  std::mt19937 gen(31);
  for (const std::int32_t n : {0, 1, 2, 3, 15, 16, 17, 63, 64, 65, 100}) {
    SCOPED_TRACE(::testing::Message() << "n=" << n);
    const auto nn = static_cast<std::size_t>(n) * n;
    const auto v = test::spread_values(gen, nn + 1);
    auto tau = test::spread_values(gen, static_cast<std::size_t>(n) + 1);
    for (std::size_t k = 0; k < tau.size(); k += 5) tau[k] = 0.0f;
    std::vector<float> y(nn, 0.0f);
    for (std::int32_t i = 0; i < n; ++i) y[static_cast<std::size_t>(i) * (n + 1)] = 1.0f;
    auto y_ref = y;
    const std::int32_t count = n > 2 ? n - 2 : 0;
    ref.accumulate_reflectors(y_ref.data(), n, v.data(), tau.data(), count);
    fast.accumulate_reflectors(y.data(), n, v.data(), tau.data(), count);
    EXPECT_TRUE(same_bits(y, y_ref));
  }
}

// The QL iteration: graded, clustered and zero-split tridiagonals, with and
// without vectors, and a sweep limit that ends it early.
TEST(EigenUpdateKernels, TridiagonalQlMatchesReference) {
  std::mt19937 gen(2718);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (const std::int32_t n : {1, 2, 3, 5, 17, 40, 97}) {
    for (int kind = 0; kind < 4; ++kind) {
      SCOPED_TRACE(::testing::Message() << "n=" << n << " kind=" << kind);
      std::vector<float> d(static_cast<std::size_t>(n));
      std::vector<float> e(static_cast<std::size_t>(n));
      for (std::int32_t i = 0; i < n; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        d[ui] = kind == 1 ? std::ldexp(1.0f + u(gen), -i) : kind == 2 ? 1.0f + 1e-6f * u(gen) : u(gen);
        e[ui] = kind == 3 && i % 6 == 5 ? 0.0f : (kind == 1 ? std::ldexp(u(gen), -i) : u(gen));
      }
      for (const std::int32_t limit : {30 * n, 2}) {
        for (const bool vectors : {false, true}) {
          std::vector<float> z(static_cast<std::size_t>(n) * n, 0.0f);
          for (std::int32_t i = 0; i < n; ++i) z[static_cast<std::size_t>(i) * (n + 1)] = 1.0f;
          auto d1 = d;
          auto e1 = e;
          auto z1 = z;
          std::vector<float> c(static_cast<std::size_t>(n));
          std::vector<float> s(static_cast<std::size_t>(n));
          const bool want =
              ref.tridiagonal_ql(d1.data(), e1.data(), n, vectors ? z1.data() : nullptr, c.data(), s.data(), limit);
          auto d2 = d;
          auto e2 = e;
          auto z2 = z;
          const bool got =
              fast.tridiagonal_ql(d2.data(), e2.data(), n, vectors ? z2.data() : nullptr, c.data(), s.data(), limit);
          EXPECT_EQ(got, want);
          EXPECT_TRUE(same_bits(d2, d1));
          EXPECT_TRUE(same_bits(e2, e1));
          EXPECT_TRUE(same_bits(z2, z1));
          if (limit > 2) {
            EXPECT_TRUE(want);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace orvik
