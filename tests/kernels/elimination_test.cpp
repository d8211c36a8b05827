// The elimination kernels and the factorizations built on them, bit for bit
// against plain loops written here with one std::fma per update.

#include "kernels/kernels.hpp"
#include "support/generators.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace orvik {
namespace {

using f1::element;

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

void expect_same_bits(const std::vector<float>& got, const std::vector<float>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t t = 0; t < got.size(); ++t) EXPECT_EQ(bits(got[t]), bits(want[t])) << t;
}

std::vector<float> random_values(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
  std::vector<float> v(n);
  for (float& x : v) x = dist(gen);
  return v;
}

TEST(F1Kernels, SubtractProductsMatchesThePlainLoop) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const std::int32_t count = static_cast<std::int32_t>(seed * 3 % 17);
    const std::ptrdiff_t xs = 1 + seed % 3;
    const std::ptrdiff_t ys = 1 + seed % 2;
    const std::vector<float> x = random_values(static_cast<std::size_t>(count * xs + 1), seed);
    const std::vector<float> y = random_values(static_cast<std::size_t>(count * ys + 1), seed + 100);
    float s = 0.37f * static_cast<float>(seed);
    const float got = kernels::optimised_kernels().subtract_products(s, x.data(), xs, y.data(), ys, count);
    for (std::int32_t t = 0; t < count; ++t) s = std::fma(-x[t * xs], y[t * ys], s);
    EXPECT_EQ(bits(got), bits(s)) << seed;
  }
}

TEST(F1Kernels, SubtractScaledMatchesThePlainLoop) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const std::int32_t count = static_cast<std::int32_t>(seed * 5 % 19);
    const std::ptrdiff_t xs = 1 + seed % 2;
    const std::ptrdiff_t ys = 1 + seed % 4;
    const std::vector<float> x = random_values(static_cast<std::size_t>(count * xs + 1), seed);
    std::vector<float> got = random_values(static_cast<std::size_t>(count * ys + 1), seed + 7);
    std::vector<float> want = got;
    const float f = 1.25f - 0.1f * static_cast<float>(seed);
    kernels::optimised_kernels().subtract_scaled(got.data(), ys, f, x.data(), xs, count);
    for (std::int32_t t = 0; t < count; ++t) want[t * ys] = std::fma(-f, x[t * xs], want[t * ys]);
    expect_same_bits(got, want);
  }
}

// Doolittle, row by row: the compact factors.
std::vector<float> reference_lu(const t_matrix& a) {
  const std::int32_t r = a.rows;
  const std::int32_t c = a.cols;
  std::vector<float> m = a.elements;
  auto at = [&](std::int32_t i, std::int32_t j) -> float& { return m[(j - 1) * r + (i - 1)]; };
  for (std::int32_t i = 1; i <= r; ++i)
    for (std::int32_t j = 1; j <= c; ++j) {
      float s = at(i, j);
      for (std::int32_t k = 1; k < std::min(i, j); ++k) s = std::fma(-at(i, k), at(k, j), s);
      if (j < i) s = s / at(j, j);
      at(i, j) = s;
    }
  return m;
}

// Outer-product Cholesky of the lower triangle.
std::vector<float> reference_cholesky(const t_matrix& a) {
  const std::int32_t n = a.rows;
  std::vector<float> w = a.elements;
  std::vector<float> m(w.size(), 0.0f);
  auto idx = [&](std::int32_t i, std::int32_t j) { return static_cast<std::size_t>((j - 1) * n + (i - 1)); };
  for (std::int32_t k = 1; k <= n; ++k) {
    m[idx(k, k)] = std::sqrt(w[idx(k, k)]);
    for (std::int32_t i = k + 1; i <= n; ++i) m[idx(i, k)] = w[idx(i, k)] / m[idx(k, k)];
    for (std::int32_t j = k + 1; j <= n; ++j)
      for (std::int32_t i = j; i <= n; ++i) w[idx(i, j)] = std::fma(-m[idx(i, k)], m[idx(j, k)], w[idx(i, j)]);
  }
  return m;
}

// Gauss-Jordan inverse with the strict pivot search.
std::vector<float> reference_inverse(const t_matrix& a) {
  const std::int32_t n = a.rows;
  std::vector<float> t = a.elements;
  std::vector<float> x(t.size(), 0.0f);
  auto idx = [&](std::int32_t i, std::int32_t j) { return static_cast<std::size_t>((j - 1) * n + (i - 1)); };
  for (std::int32_t i = 1; i <= n; ++i) x[idx(i, i)] = 1.0f;
  for (std::int32_t k = 1; k <= n; ++k) {
    std::int32_t p = k;
    for (std::int32_t i = k + 1; i <= n; ++i)
      if (std::fabs(t[idx(i, k)]) > std::fabs(t[idx(p, k)])) p = i;
    for (std::int32_t j = 1; j <= n; ++j) {
      std::swap(t[idx(k, j)], t[idx(p, j)]);
      std::swap(x[idx(k, j)], x[idx(p, j)]);
    }
    const float r = 1.0f / t[idx(k, k)];
    for (std::int32_t j = 1; j <= n; ++j) t[idx(k, j)] = t[idx(k, j)] * r;
    for (std::int32_t j = 1; j <= n; ++j) x[idx(k, j)] = x[idx(k, j)] * r;
    for (std::int32_t i = 1; i <= n; ++i) {
      if (i == k) continue;
      const float f = t[idx(i, k)];
      for (std::int32_t j = 1; j <= n; ++j) t[idx(i, j)] = std::fma(-f, t[idx(k, j)], t[idx(i, j)]);
      for (std::int32_t j = 1; j <= n; ++j) x[idx(i, j)] = std::fma(-f, x[idx(k, j)], x[idx(i, j)]);
    }
  }
  return x;
}

TEST(F1Kernels, FactorizationsMatchPlainLoopsBitForBit) {
  for (unsigned seed = 1; seed <= 8; ++seed) {
    const std::int32_t n = 2 + static_cast<std::int32_t>(seed % 6);
    const t_matrix a = f1::random_matrix(n, n + static_cast<std::int32_t>(seed % 3) - 1, seed);
    expect_same_bits(m_decomplu_m(a).M.elements, reference_lu(a));
    const t_matrix spd = f1::spd_matrix(n, seed);
    expect_same_bits(m_decompcholesky(spd).M.elements, reference_cholesky(spd));
    const t_matrix d = f1::dominant_matrix(n, seed);
    expect_same_bits(m_inverse_gaussj(d).elements, reference_inverse(d));
    const t_matrix g = f1::random_matrix(n, n, seed + 50);
    expect_same_bits(m_inverse_gaussj(g).elements, reference_inverse(g));
  }
}

}  // namespace
}  // namespace orvik
