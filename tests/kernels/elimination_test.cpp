// The elimination kernels (the updates of LU, Cholesky and Gauss-Jordan, the
// dot product, the deflation's rank-one correction): the reference table and
// the optimised one, each bit for bit against the plain loop written here
// with one std::fma per step.

#include "kernels/kernels.hpp"
#include "support/generators.hpp"
#include "support/records.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace orvik {
namespace {

using test::bits_of;

const kernels::kernel_table* const tables[] = {&kernels::reference_kernels(), &kernels::optimised_kernels()};

TEST(EliminationKernels, SubtractProductsIsThePlainLoop) {
  for (const kernels::kernel_table* table : tables) {
    SCOPED_TRACE(table->name);
    std::mt19937 gen(1);
    for (unsigned seed = 1; seed <= 20; ++seed) {
      const std::int32_t count = static_cast<std::int32_t>(seed * 3 % 17);
      const std::ptrdiff_t xs = 1 + seed % 3;
      const std::ptrdiff_t ys = 1 + seed % 2;
      const std::vector<float> x = test::random_values(gen, static_cast<std::size_t>(count * xs + 1));
      const std::vector<float> y = test::random_values(gen, static_cast<std::size_t>(count * ys + 1));
      float s = 0.37f * static_cast<float>(seed);
      const float got = table->subtract_products(s, x.data(), xs, y.data(), ys, count);
      for (std::int32_t t = 0; t < count; ++t) s = std::fma(-x[t * xs], y[t * ys], s);
      EXPECT_EQ(bits_of({got}), bits_of({s})) << seed;
    }
  }
}

TEST(EliminationKernels, SubtractScaledIsThePlainLoop) {
  for (const kernels::kernel_table* table : tables) {
    SCOPED_TRACE(table->name);
    std::mt19937 gen(2);
    for (unsigned seed = 1; seed <= 20; ++seed) {
      const std::int32_t count = static_cast<std::int32_t>(seed * 5 % 19);
      const std::ptrdiff_t xs = 1 + seed % 2;
      const std::ptrdiff_t ys = 1 + seed % 4;
      const std::vector<float> x = test::random_values(gen, static_cast<std::size_t>(count * xs + 1));
      std::vector<float> got = test::random_values(gen, static_cast<std::size_t>(count * ys + 1));
      std::vector<float> want = got;
      const float f = 1.25f - 0.1f * static_cast<float>(seed);
      table->subtract_scaled(got.data(), ys, f, x.data(), xs, count);
      for (std::int32_t t = 0; t < count; ++t) want[t * ys] = std::fma(-f, x[t * xs], want[t * ys]);
      EXPECT_EQ(bits_of(got), bits_of(want)) << seed;
    }
  }
}

TEST(EliminationKernels, DotIsThePlainFusedLoop) {
  for (const kernels::kernel_table* table : tables) {
    SCOPED_TRACE(table->name);
    std::mt19937 gen(7);
    for (int trial = 0; trial < 200; ++trial) {
      const auto n = static_cast<std::size_t>(trial % 17);
      const std::vector<float> x = test::random_values(gen, n);
      const std::vector<float> y = test::random_values(gen, n);
      float fused = 0.0f;
      for (std::size_t i = 0; i < n; ++i) fused = std::fma(x[i], y[i], fused);
      ASSERT_EQ(bits_of({table->dot(0.0f, x.data(), y.data(), static_cast<std::int32_t>(n))}), bits_of({fused}))
          << trial;
    }
  }
}

TEST(EliminationKernels, RankOneCorrectionIsThePlainLoop) {
  for (const kernels::kernel_table* table : tables) {
    SCOPED_TRACE(table->name);
    std::mt19937 gen(11);
    std::uniform_real_distribution<float> dist(-3.0f, 3.0f);
    for (const std::int32_t n : {1, 4, 9}) {
      std::vector<float> b = test::random_matrix(n, n, static_cast<unsigned>(n)).elements;
      std::vector<float> v(static_cast<std::size_t>(n));
      for (float& x : v) x = dist(gen);
      const float factor = dist(gen);
      std::vector<float> want = b;
      for (std::int32_t k = 0; k < n; ++k) {
        for (std::int32_t j = 0; j < n; ++j) {
          float& x = want[static_cast<std::size_t>(j) * n + k];
          x = std::fma(-factor, v[static_cast<std::size_t>(k)] * v[static_cast<std::size_t>(j)], x);
        }
      }
      table->deflate_rank_one(b.data(), n, factor, v.data());
      EXPECT_EQ(bits_of(b), bits_of(want)) << n;
    }
  }
}

}  // namespace
}  // namespace orvik
