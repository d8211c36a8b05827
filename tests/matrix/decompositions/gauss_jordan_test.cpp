// Gauss-Jordan inverse, determinant and rank: worked cases, exchanges and
// ties, the plain loop bit for bit, the inverse residual ratio, and every
// stop.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::expect_same_matrix;
using test::matrix_of;

const t_matrix fresh{};
const t_matrix m23 = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});

const float eps = std::ldexp(1.0f, -24);

TEST(GaussJordan, IdentityAndOneByOne) {
  for (std::int32_t n : {1, 3, 5}) {
    const t_matrix id = m_identity(n);
    expect_same_matrix(m_inverse_gaussj(id), id);
    EXPECT_EQ(m_det_gaussj(id), 1.0f);
    EXPECT_EQ(m_rank_gaussj(id), n);
  }
  // The determinant is the quotient by the rounded reciprocal.
  const volatile float three = 3.0f;
  const float r = 1.0f / three;
  expect_same_matrix(m_inverse_gaussj(matrix_of(1, 1, {3})), matrix_of(1, 1, {r}));
  EXPECT_EQ(m_det_gaussj(matrix_of(1, 1, {3})), 1.0f / r);
  EXPECT_EQ(m_rank_gaussj(matrix_of(1, 1, {3})), 1);
  EXPECT_EQ(m_det_gaussj(matrix_of(1, 1, {eps})), 0.0f);
  EXPECT_EQ(m_rank_gaussj(matrix_of(1, 1, {-eps})), 0);
  EXPECT_EQ(m_det_gaussj(matrix_of(2, 2, {1e-8f, 0, 0, 1e-8f})), 0.0f);
  EXPECT_EQ(m_rank_gaussj(matrix_of(2, 2, {1e-8f, 0, 0, 1e-8f})), 0);
}

TEST(GaussJordan, ExchangesTiesAndSingularity) {
  const t_matrix swap = matrix_of(2, 2, {0, 1, 1, 0});
  EXPECT_EQ(m_det_gaussj(swap), -1.0f);
  expect_same_matrix(m_inverse_gaussj(swap), swap);
  // Equal magnitudes keep row 1, so no sign change.
  EXPECT_EQ(m_det_gaussj(matrix_of(2, 2, {1, 2, -1, 3})), 5.0f);
  const t_matrix singular = matrix_of(2, 2, {1, 2, 2, 4});
  EXPECT_EQ(m_det_gaussj(singular), 0.0f);
  EXPECT_EQ(m_rank_gaussj(singular), 1);
  expect_same_matrix(singular, matrix_of(2, 2, {1, 2, 2, 4}));
  expect_same_matrix(m_inverse_gaussj(matrix_of(2, 2, {2, 0, 0, 0.5f})), matrix_of(2, 2, {0.5f, 0, 0, 2}));
}

TEST(GaussJordan, RankCountsPivotsInEchelonForm) {
  EXPECT_EQ(m_rank_gaussj(matrix_of(2, 2, {0, 1, 0, 0})), 1);
  EXPECT_EQ(m_rank_gaussj(matrix_of(2, 2, {0, 1, 0, 1})), 1);
  EXPECT_EQ(m_rank_gaussj(matrix_of(3, 3, {0, 1, 0, 0, 0, 1, 0, 0, 0})), 2);
  EXPECT_EQ(m_rank_gaussj(matrix_of(2, 2, {0, 0, 0, 0})), 0);
  EXPECT_EQ(m_rank_gaussj(matrix_of(3, 2, {1, 2, 3, 4, 5, 7})), 2);
  EXPECT_EQ(m_rank_gaussj(matrix_of(3, 2, {1, 2, 2, 4, 3, 6})), 1);
  EXPECT_EQ(m_rank_gaussj(matrix_of(2, 4, {0, 0, 1, 2, 0, 0, 2, 4})), 1);
  EXPECT_EQ(m_rank_gaussj(matrix_of(2, 4, {0, 1, 2, 3, 0, 0, 0, 5})), 2);
}

// Gauss-Jordan inverse with the strict pivot search.
std::vector<float> plain_inverse(const t_matrix& a) {
  const std::int32_t n = a.rows;
  std::vector<float> t = a.elements;
  std::vector<float> x(t.size(), 0.0f);
  auto idx = [&](std::int32_t i, std::int32_t j) { return static_cast<std::size_t>(j - 1) * n + (i - 1); };
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

TEST(GaussJordan, InverseIsThePlainLoopBitForBit) {
  for (unsigned seed = 1; seed <= 8; ++seed) {
    const std::int32_t n = 2 + static_cast<std::int32_t>(seed % 6);
    const t_matrix d = test::dominant_matrix(n, seed);
    EXPECT_EQ(test::bits_of(m_inverse_gaussj(d).elements), test::bits_of(plain_inverse(d))) << seed;
    const t_matrix g = test::random_matrix(n, n, seed + 50);
    EXPECT_EQ(test::bits_of(m_inverse_gaussj(g).elements), test::bits_of(plain_inverse(g))) << seed;
  }
}

TEST(GaussJordan, InverseTimesMatrixIsIdentity) {
  unsigned seed = 60;
  for (std::int32_t n : {1, 2, 4, 7, 12}) {
    for (bool dominant : {true, false}) {
      const t_matrix a = dominant ? test::dominant_matrix(n, seed) : test::random_matrix(n, n, seed);
      ++seed;
      const double ratio = test::inverse_residual_ratio(a, m_inverse_gaussj(a));
      EXPECT_LE(ratio, test::residual_threshold) << n << " dominant " << dominant;
    }
  }
}

TEST(GaussJordan, Stops) {
  const std::string singular = "m_inverse_gaussj::matrix is close to singular or badly scaled";
  test::expect_stops({
      {"inverse fresh", [] { m_inverse_gaussj(fresh); }, 2001, "m_inverse_gaussj::matrix not allocated"},
      {"inverse rectangular", [] { m_inverse_gaussj(m23); }, 202, "m_inverse_gaussj::square matrix expected"},
      {"inverse singular",
       [] {
         m_inverse_gaussj(matrix_of(2, 2, {1, 2, 2, 4}));
       },
       300, singular},
      {"inverse tiny",
       [] {
         m_inverse_gaussj(matrix_of(2, 2, {1e-8f, 0, 0, 1e-8f}));
       },
       300, singular},
      {"inverse 1x1 eps", [] { m_inverse_gaussj(matrix_of(1, 1, {eps})); }, 300, singular},
      {"det fresh", [] { m_det_gaussj(fresh); }, 2001, "m_det_gaussj::matrix not allocated"},
      {"det rectangular", [] { m_det_gaussj(m23); }, 202, "m_det_gaussj::square matrix expected"},
      {"rank fresh", [] { m_rank_gaussj(fresh); }, 2001, "m_rank_gaussj::matrix not allocated"},
  });
}

}  // namespace
}  // namespace orvik
