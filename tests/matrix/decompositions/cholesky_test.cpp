// Cholesky factorization: known factors, the pivot test at eps, the
// reordered rows, the plain loop bit for bit, the residual ratio, and every
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

using test::element;
using test::expect_same_matrix;
using test::matrix_of;

const t_matrix fresh{};
const t_matrix m23 = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});

const float eps = std::ldexp(1.0f, -24);
const float nan = std::numeric_limits<float>::quiet_NaN();

TEST(CholeskyDecomposition, KnownFactors) {
  const t_m_and_p r = m_decompcholesky(matrix_of(2, 2, {4, 2, 2, 3}));
  expect_same_matrix(r.M, matrix_of(2, 2, {2, 0, 1, std::sqrt(2.0f)}));
  EXPECT_FALSE(r.P.allocated);
  EXPECT_EQ(r.nb_permut, 0);
  // The entry above the diagonal is never read.
  expect_same_matrix(m_decompcholesky(matrix_of(2, 2, {4, 99, 2, 3})).M, r.M);
  expect_same_matrix(m_decompcholesky(matrix_of(1, 1, {4})).M, matrix_of(1, 1, {2}));
  expect_same_matrix(m_decompcholesky(matrix_of(3, 3, {9, 0, 0, 0, 4, 0, 0, 0, 2})).M,
                     matrix_of(3, 3, {3, 0, 0, 0, 2, 0, 0, 0, std::sqrt(2.0f)}));
}

TEST(CholeskyDecomposition, PivotJustAboveEpsIsAccepted) {
  const float above = std::nextafter(std::ldexp(1.0f, -24), 1.0f);
  const t_m_and_p r = m_decompcholesky(matrix_of(2, 2, {1, 0, 0, above}));
  EXPECT_EQ(element(r.M, 2, 2), std::sqrt(above));
  EXPECT_EQ(element(m_decompcholesky(matrix_of(1, 1, {above})).M, 1, 1), std::sqrt(above));
}

TEST(CholeskyDecomposition, WithPivotingFactorsTheReorderedRows) {
  // Rows are exchanged, not rows and columns: the factor is that of the
  // matrix whose lower triangle is the one of P*A = (1 3; 1 2).
  const t_m_and_p r = m_decompcholesky(matrix_of(2, 2, {1, 2, 1, 3}), true);
  expect_same_matrix(r.P, matrix_of(2, 2, {0, 1, 1, 0}));
  EXPECT_EQ(r.nb_permut, 1);
  expect_same_matrix(r.M, matrix_of(2, 2, {1, 0, 1, 1}));
}

// Outer-product Cholesky of the lower triangle.
std::vector<float> outer_product_cholesky(const t_matrix& a) {
  const std::int32_t n = a.rows;
  std::vector<float> w = a.elements;
  std::vector<float> m(w.size(), 0.0f);
  auto idx = [&](std::int32_t i, std::int32_t j) { return static_cast<std::size_t>(j - 1) * n + (i - 1); };
  for (std::int32_t k = 1; k <= n; ++k) {
    m[idx(k, k)] = std::sqrt(w[idx(k, k)]);
    for (std::int32_t i = k + 1; i <= n; ++i) m[idx(i, k)] = w[idx(i, k)] / m[idx(k, k)];
    for (std::int32_t j = k + 1; j <= n; ++j)
      for (std::int32_t i = j; i <= n; ++i) w[idx(i, j)] = std::fma(-m[idx(i, k)], m[idx(j, k)], w[idx(i, j)]);
  }
  return m;
}

TEST(CholeskyDecomposition, FactorIsThePlainLoopBitForBit) {
  for (unsigned seed = 1; seed <= 8; ++seed) {
    const std::int32_t n = 2 + static_cast<std::int32_t>(seed % 6);
    const t_matrix spd = test::spd_matrix(n, seed);
    EXPECT_EQ(test::bits_of(m_decompcholesky(spd).M.elements), test::bits_of(outer_product_cholesky(spd))) << seed;
  }
}

TEST(CholeskyDecomposition, FactorReproducesSymmetricPositiveDefiniteMatrices) {
  unsigned seed = 30;
  for (std::int32_t n : {1, 2, 3, 6, 10, 16}) {
    const t_matrix a = test::spd_matrix(n, seed++);
    const t_m_and_p r = m_decompcholesky(a);
    const double ratio = test::cholesky_residual_ratio(a, r.M);
    EXPECT_LE(ratio, test::residual_threshold) << n;
    for (std::int32_t i = 1; i <= n; ++i)
      for (std::int32_t j = i + 1; j <= n; ++j) EXPECT_EQ(element(r.M, i, j), 0.0f);
  }
  // Ill-conditioned: the backward error stays small all the same.
  for (std::int32_t n : {3, 5}) {
    const t_matrix h = test::hilbert_matrix(n);
    EXPECT_LE(test::cholesky_residual_ratio(h, m_decompcholesky(h).M), test::residual_threshold) << n;
  }
}

TEST(CholeskyDecomposition, Stops) {
  const std::string not_pd = "m_decompCholesky::matrix is not positive definite";
  test::expect_stops({
      {"fresh", [] { m_decompcholesky(fresh); }, 2001, "m_decompCholesky::matrix not allocated"},
      {"rectangular", [] { m_decompcholesky(m23); }, 202, "m_decompCholesky:: square matrix expected"},
      {"updated pivot zero",
       [] {
         m_decompcholesky(matrix_of(2, 2, {4, 2, 2, 1}));
       },
       304, not_pd},
      {"updated pivot negative",
       [] {
         m_decompcholesky(matrix_of(2, 2, {1, 2, 2, 1}));
       },
       304, not_pd},
      {"pivot equal to eps",
       [] {
         m_decompcholesky(matrix_of(2, 2, {1, 0, 0, eps}));
       },
       304, not_pd},
      {"last pivot NaN",
       [] {
         m_decompcholesky(matrix_of(2, 2, {1, 0, nan, 1}));
       },
       304, not_pd},
      // The first pivot is tested like the others.
      {"1x1 zero", [] { m_decompcholesky(matrix_of(1, 1, {0})); }, 304, not_pd},
      {"1x1 negative", [] { m_decompcholesky(matrix_of(1, 1, {-4})); }, 304, not_pd},
      {"1x1 eps", [] { m_decompcholesky(matrix_of(1, 1, {eps})); }, 304, not_pd},
      {"1x1 NaN", [] { m_decompcholesky(matrix_of(1, 1, {nan})); }, 304, not_pd},
      {"first pivot negative",
       [] {
         m_decompcholesky(matrix_of(2, 2, {-1, 0, 0, 1}));
       },
       304, not_pd},
      {"middle pivot fails",
       [] {
         m_decompcholesky(matrix_of(3, 3, {1, 0, 0, 1, 1, 0, 0, 0, 1}));
       },
       304, not_pd},
      // A reordering can bring a zero first pivot: (1 0; 0 5) becomes (0 5; 1 0).
      {"pivoting brings a zero first pivot",
       [] {
         m_decompcholesky(matrix_of(2, 2, {1, 0, 0, 5}), true);
       },
       304, not_pd},
  });
}

}  // namespace
}  // namespace orvik
