// Operands near and below the smallest normal float: the kernels and column
// loops take their through-double forms there, which must give the plain
// instructions' bits. Values mix exact zeros, subnormals, tiny normals and
// ordinary ones, and the matrices include the near-identity shapes that the
// orthogonal iterations produce (a dominant diagonal among subnormals).

#include "common/through_double.hpp"
#include "kernel_checks.hpp"
#include "kernels/columns.hpp"
#include "kernels/kernels.hpp"

#include <orvik/vector.hpp>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace orvik {
namespace {

using test::same_bits;

const kernels::kernel_table& ref = kernels::reference_kernels();
const kernels::kernel_table& fast = kernels::optimised_kernels();

float subnormal(std::mt19937& gen) {
  const std::uint32_t bits = (gen() & 0x807fffffU) | 1U;
  return std::bit_cast<float>(bits);
}

// Zeros, subnormals, tiny normals (2^-100 .. 2^-60) and ordinary values.
std::vector<float> tiny_heavy(std::mt19937& gen, std::size_t count) {
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_int_distribution<int> tiny_exponent(-100, -60);
  std::vector<float> out(count);
  for (float& x : out) {
    const int k = kind(gen);
    x = k < 3 ? 0.0f : k < 6 ? subnormal(gen) : k < 7 ? std::ldexp(unit(gen), tiny_exponent(gen)) : unit(gen);
  }
  return out;
}

// n x n column-major: ordinary diagonal, subnormal or zero elsewhere.
std::vector<float> near_identity(std::mt19937& gen, std::int32_t n) {
  std::uniform_real_distribution<float> unit(0.5f, 1.0f);
  std::vector<float> out(static_cast<std::size_t>(n) * n);
  for (std::int32_t j = 0; j < n; ++j) {
    for (std::int32_t i = 0; i < n; ++i) {
      out[static_cast<std::size_t>(j) * n + i] = i == j ? unit(gen) : (gen() % 2 == 0 ? 0.0f : subnormal(gen));
    }
  }
  return out;
}

TEST(TinyValues, ScalarStepsThroughDoubleMatchTheInstructions) {
  std::mt19937 gen(31);
  std::uniform_int_distribution<int> odd(0, 7);
  std::uniform_int_distribution<int> shift(-40, 40);
  for (int trial = 0; trial < 200000; ++trial) {
    const std::vector<float> v = tiny_heavy(gen, 3);
    // Also a product exactly halfway between two floats, nudged by a tiny
    // addend: where rounding the double sum to nearest would go wrong.
    const float a = trial % 2 == 0 ? v[0] : std::ldexp(static_cast<float>(2 * odd(gen) + 1), shift(gen));
    const float b = trial % 2 == 0 ? v[1] : std::ldexp(1.0f + std::ldexp(static_cast<float>(gen() | 1U), -32), -20);
    const float c = trial % 2 == 0 ? v[2] : std::ldexp(v[2] == 0.0f ? 1.0f : v[2], -30);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(detail::fused_through_double(a, b, c)),
              std::bit_cast<std::uint32_t>(std::fma(a, b, c)))
        << a << " " << b << " " << c;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(detail::product_through_double(a, b)), std::bit_cast<std::uint32_t>(a * b));
  }
}

TEST(TinyValues, GemmMatchesTheReference) {
  std::mt19937 gen(37);
  const kernels::gemm_mode modes[] = {kernels::gemm_mode::assign, kernels::gemm_mode::add,
                                      kernels::gemm_mode::subtract};
  const std::int32_t shapes[][3] = {{1, 1, 1}, {16, 16, 16}, {33, 13, 40}, {64, 64, 64}, {70, 25, 300}};
  for (const auto& s : shapes) {
    const std::int32_t m = s[0];
    const std::int32_t n = s[1];
    const std::int32_t k = s[2];
    for (const auto mode : modes) {
      auto a = tiny_heavy(gen, static_cast<std::size_t>(m) * k);
      auto b = tiny_heavy(gen, static_cast<std::size_t>(k) * n);
      auto c = tiny_heavy(gen, static_cast<std::size_t>(m) * n);
      if (mode == kernels::gemm_mode::add) test::sprinkle_specials(gen, a, 50);
      auto want = c;
      ref.gemm(m, n, k, {a.data(), 1, m}, {b.data(), 1, k}, want.data(), m, mode);
      fast.gemm(m, n, k, {a.data(), 1, m}, {b.data(), 1, k}, c.data(), m, mode);
      ASSERT_TRUE(same_bits(c, want)) << m << "x" << n << "x" << k << " mode " << static_cast<int>(mode);
    }
  }
  // Matrix times vector (one column), as Gram-Schmidt's coefficients: a
  // block of a larger array, b contiguous or strided, every width of rows.
  for (const std::int32_t m : {1, 15, 16, 37, 64, 70}) {
    for (const std::int32_t b_stride : {1, 2}) {
      const std::int32_t k = 33;
      const std::int32_t lda = m + 5;
      const auto a = tiny_heavy(gen, static_cast<std::size_t>(lda) * k);
      const auto b = tiny_heavy(gen, static_cast<std::size_t>(b_stride) * k);
      for (const auto mode : modes) {
        auto c = tiny_heavy(gen, static_cast<std::size_t>(m));
        auto want = c;
        ref.gemm(m, 1, k, {a.data(), 1, lda}, {b.data(), b_stride, 0}, want.data(), m, mode);
        fast.gemm(m, 1, k, {a.data(), 1, lda}, {b.data(), b_stride, 0}, c.data(), m, mode);
        ASSERT_TRUE(same_bits(c, want)) << m << " stride " << b_stride << " mode " << static_cast<int>(mode);
      }
    }
  }
  // U * Q with an orthogonal-like U and a near-identity Q, as in the SVD.
  for (const std::int32_t n : {8, 31, 64}) {
    const auto u = test::spread_values(gen, static_cast<std::size_t>(n) * n);
    const auto q = near_identity(gen, n);
    std::vector<float> want(u.size());
    std::vector<float> got(u.size());
    ref.prod_mat(u.data(), q.data(), want.data(), n, n, n);
    fast.prod_mat(u.data(), q.data(), got.data(), n, n, n);
    ASSERT_TRUE(same_bits(got, want)) << n;
    ref.prod_mat(q.data(), u.data(), want.data(), n, n, n);
    fast.prod_mat(q.data(), u.data(), got.data(), n, n, n);
    ASSERT_TRUE(same_bits(got, want)) << n;
  }
}

TEST(TinyValues, ChainsMatchTheReference) {
  std::mt19937 gen(41);
  for (const std::int32_t rows : {1, 7, 8, 9, 64, 77}) {
    for (const std::int32_t cols : {1, 7, 8, 13, 64}) {
      const auto x = tiny_heavy(gen, static_cast<std::size_t>(rows));
      auto a = tiny_heavy(gen, static_cast<std::size_t>(rows) * cols);
      if (rows == cols) a = near_identity(gen, rows);
      std::vector<float> want(static_cast<std::size_t>(cols));
      std::vector<float> got(want.size(), 5.0f);
      ref.prod_vec_left(x.data(), a.data(), rows, want.data(), rows, cols);
      fast.prod_vec_left(x.data(), a.data(), rows, got.data(), rows, cols);
      ASSERT_TRUE(same_bits(got, want)) << rows << "x" << cols;
      // y - f x, one fused step each; with a subnormal f and subnormal x
      // too, whose products all round to zeros of either sign.
      std::vector<float> sub_x(x.size());
      for (float& v : sub_x) v = gen() % 3 == 0 ? 0.0f : subnormal(gen);
      const std::vector<float>* operands[] = {&x, &sub_x};
      for (const float f : {x[0], 0.5f, 0.0f, -0x1p-130f}) {
        for (const auto* xs : operands) {
          auto y_ref = a;
          auto y_fast = a;
          ref.subtract_scaled(y_ref.data(), 1, f, xs->data(), 1, rows);
          fast.subtract_scaled(y_fast.data(), 1, f, xs->data(), 1, rows);
          ASSERT_TRUE(same_bits(y_fast, y_ref)) << rows << " f " << f;
        }
      }
      const float start = tiny_heavy(gen, 1)[0];
      ASSERT_TRUE(same_bits({fast.dot(start, x.data(), a.data(), rows)}, {ref.dot(start, x.data(), a.data(), rows)}));
    }
  }
}

// Forward elimination on tiny-heavy matrices, with thresholds among the
// subnormals, so that each pivot decision rests on subnormal arithmetic.
TEST(TinyValues, EliminationRankMatchesTheReference) {
  std::mt19937 gen(53);
  for (int trial = 0; trial < 60; ++trial) {
    const std::int32_t rows = 3 + trial % 17;
    const std::int32_t cols = 2 + (trial * 7) % 19;
    auto t = tiny_heavy(gen, static_cast<std::size_t>(rows) * cols);
    if (trial % 3 == 0) {
      // Rows scaled into the subnormals.
      for (float& x : t) x = std::ldexp(x, -100);
    }
    for (const float eps : {0x1p-140f, 0x1p-130f, 1.0e-38f, 0x1p-70f}) {
      auto for_ref = t;
      auto for_fast = t;
      ASSERT_EQ(fast.gauss_jordan_rank(for_fast.data(), rows, cols, eps),
                ref.gauss_jordan_rank(for_ref.data(), rows, cols, eps))
          << rows << "x" << cols << " eps " << eps << " trial " << trial;
    }
  }
}

// Two terms: a subnormal running sum, then a product exactly halfway between
// two floats (an odd small integer times a full-width mantissa) that the
// running sum's sign must decide. Rounding the double sum to nearest before
// converting it would lose that sign.
TEST(TinyValues, TiesAreBrokenByTheTinyRunningSum) {
  std::mt19937 gen(47);
  std::uniform_int_distribution<int> odd(1, 7);
  std::uniform_real_distribution<float> unit(0.5f, 1.0f);
  // Short columns take the unpacked small product, long ones the blocked.
  for (const std::int32_t m : {16, 48}) {
    const std::int32_t n = 40;
    std::vector<float> a(static_cast<std::size_t>(m) * 2);
    std::vector<float> b(static_cast<std::size_t>(2) * n);
    for (std::int32_t i = 0; i < m; ++i) {
      a[i] = (gen() % 2 == 0 ? 1.0f : -1.0f) * unit(gen);
      a[m + i] = static_cast<float>(2 * odd(gen) + 1);
    }
    for (std::int32_t j = 0; j < n; ++j) {
      b[2 * j] = subnormal(gen);
      b[2 * j + 1] = std::bit_cast<float>(static_cast<std::uint32_t>((gen() & 0x807fffffU) | 0x3f800001U));
    }
    std::vector<float> want(static_cast<std::size_t>(m) * n);
    std::vector<float> got(want.size());
    ref.prod_mat(a.data(), b.data(), want.data(), m, 2, n);
    fast.prod_mat(a.data(), b.data(), got.data(), m, 2, n);
    EXPECT_TRUE(same_bits(got, want));

    // The same two terms as the rows of x^T a.
    std::vector<float> x = {b[0], b[1]};
    std::vector<float> columns(static_cast<std::size_t>(2) * m);
    for (std::int32_t i = 0; i < m; ++i) {
      columns[2 * i] = a[i];
      columns[2 * i + 1] = a[m + i];
    }
    std::vector<float> want_left(m);
    std::vector<float> got_left(m);
    ref.prod_vec_left(x.data(), columns.data(), 2, want_left.data(), 2, m);
    fast.prod_vec_left(x.data(), columns.data(), 2, got_left.data(), 2, m);
    EXPECT_TRUE(same_bits(got_left, want_left));
  }
}

TEST(TinyValues, ColumnLoopsAndNormsMatchThePlainOperations) {
  std::mt19937 gen(43);
  const std::int32_t n = 37;
  const std::int32_t count = 5;
  const auto x = tiny_heavy(gen, n);
  auto c = tiny_heavy(gen, count);
  c[0] = 0.0f;
  c[1] = 0.75f;
  for (const bool tiny_x : {true, false}) {
    const auto xs = tiny_x ? x : test::spread_values(gen, n);
    auto y = tiny_heavy(gen, static_cast<std::size_t>(n + 3) * count);
    auto want = y;
    ref.subtract_rounded_outer(want.data(), n + 3, c.data(), xs.data(), n, count);
    fast.subtract_rounded_outer(y.data(), n + 3, c.data(), xs.data(), n, count);
    EXPECT_TRUE(same_bits(y, want)) << tiny_x;
  }

  for (const float s : {c[0], c[1], 3.0f, 0x1p-70f}) {
    std::vector<float> scaled(n);
    std::vector<float> divided = x;
    std::vector<float> plain_scaled(n);
    std::vector<float> plain_divided(n);
    for (std::int32_t i = 0; i < n; ++i) {
      plain_scaled[i] = x[i] * s;
      plain_divided[i] = x[i] / s;
    }
    kernels::scale_into(scaled.data(), x.data(), s, n);
    kernels::divide_in_place(divided.data(), s, n);
    EXPECT_TRUE(same_bits(scaled, plain_scaled)) << s;
    EXPECT_TRUE(same_bits(divided, plain_divided)) << s;
  }

  t_vector v;
  v_init(v, n);
  v.elements = x;
  float s = 0.0f;
  for (const float e : x) s = s + std::fabs(e) * std::fabs(e);
  EXPECT_TRUE(same_bits({v_norm(v, 2)}, {std::pow(s, 0.5f)}));
  v_destruct(v);
}

}  // namespace
}  // namespace orvik
