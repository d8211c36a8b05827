// The determinant, rank and pseudo-inverse front ends: method choice, the
// worked cases, agreement of the methods, ranks of matrices of known rank and
// the Moore-Penrose conditions.

#include "support/child.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <cmath>
#include <string>
#include <vector>

namespace orvik {
namespace {

using f2::matrix_of;

TEST(F2Det, MethodTextAndWorkedCases) {
  const t_matrix a = matrix_of(2, 2, {2, 1, 4, 1});
  EXPECT_EQ(m_det(a, "lu", true), -2.0f);
  EXPECT_EQ(m_det(a, "lu   ", true), -2.0f);
  EXPECT_EQ(m_det_lu_all(a, true), -2.0f);
  // Without pivoting the sign is not applied: LU of a itself.
  EXPECT_EQ(m_det_lu(a, false), -2.0f);
  EXPECT_EQ(m_det(a), m_det_gaussj(a));

  // A zero leading pivot tells the methods apart: LU without pivoting
  // cannot produce -1, Gauss-Jordan pivots and can.
  const t_matrix swap = matrix_of(2, 2, {0, 1, 1, 0});
  EXPECT_EQ(m_det(swap, "LU"), -1.0f);
  EXPECT_NE(m_det(swap, "lu"), -1.0f);
  EXPECT_EQ(m_det(swap, "Chol"), -1.0f);
  EXPECT_EQ(m_det(swap, std::nullopt, true), -1.0f);

  EXPECT_NEAR(m_det(matrix_of(2, 2, {4, 2, 2, 3}), "chol"), 8.0f, 2e-6f);
  // Only the two diagonal entries of the 2 x 3 U: 2 and 3.
  EXPECT_EQ(m_det_lu_all(matrix_of(2, 3, {2, 1, 3, 4, 5, 6})), 6.0f);
}

TEST(F2Det, ThreeMethodsAgreeOnRandomMatrices) {
  for (const std::int32_t n : {2, 4, 6}) {
    SCOPED_TRACE(n);
    const t_matrix a = f2::random_spd(n, static_cast<unsigned>(n));
    const float gj = m_det(a);
    const float scale = std::fabs(gj) * 1e-5f;
    EXPECT_NEAR(m_det(a, "lu"), gj, scale);
    EXPECT_NEAR(m_det(a, "lu", true), gj, scale);
    EXPECT_NEAR(m_det_lu_all(a, true), gj, scale);
    EXPECT_NEAR(m_det(a, "chol"), gj, scale);
    // A general matrix, where pivoting changes the sign bookkeeping.
    const t_matrix g = f2::random_matrix(n, n, static_cast<unsigned>(50 + n));
    EXPECT_NEAR(m_det(g, "lu", true), m_det(g), std::fabs(m_det(g)) * 1e-4f);
  }
}

TEST(F2Rank, BothMethodsOnMatricesOfKnownRank) {
  struct known {
    t_matrix a;
    std::int32_t rank;
  };
  const std::vector<known> cases = {
      {matrix_of(4, 4, {1, 2, 0, 4, 2, 4, 0, 8, 0, 0, 3, 0, 1, 2, 3, 4}), 2},
      {matrix_of(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}), 3},
      {matrix_of(3, 5, {1, 2, 3, 4, 5, 2, 4, 6, 8, 10, -1, -2, -3, -4, -5}), 1},
      {matrix_of(5, 3, {1, 0, 1, 0, 1, 1, 1, 1, 2, 2, 0, 2, 0, 4, 4}), 2},
      {f2::random_matrix(6, 4, 9), 4},
      {f2::random_matrix(3, 7, 10), 3},
  };
  for (const known& c : cases) {
    SCOPED_TRACE(std::to_string(c.a.rows) + "x" + std::to_string(c.a.cols));
    EXPECT_EQ(m_rank(c.a), c.rank);
    // Rounding noise of zero singular values lies far below 1e-4.
    EXPECT_EQ(m_rank(c.a, 1e-4f, "svd", 1e-6f, std::nullopt, "gsro"), c.rank);
    EXPECT_EQ(m_rank(c.a, 1e-4f, "svd", 1e-3f, std::nullopt, "ho"), c.rank);
    // An unknown method text ignores every other argument.
    EXPECT_EQ(m_rank(c.a, 1e30f, "SVD", -1.0f, -5), m_rank_gaussj(c.a));
  }
}

TEST(F2Rank, SvdThresholdIsStrict) {
  const t_matrix a = matrix_of(2, 2, {3, 0, 0, 2});
  EXPECT_EQ(m_rank_svd(a, 2.0f), 1);
  EXPECT_EQ(m_rank_svd(a, 1.9f), 2);
  // Householder keeps the tiny entry; plain Gram-Schmidt would drop it as
  // past the rank of the elimination.
  EXPECT_EQ(m_rank_svd(matrix_of(2, 2, {1, 0, 0, 2e-8f}), std::nullopt, std::nullopt, std::nullopt, "ho"), 2);
  EXPECT_EQ(m_rank_svd(matrix_of(2, 2, {1, 0, 0, 1e-8f}), std::nullopt, std::nullopt, std::nullopt, "ho"), 1);
  EXPECT_EQ(m_rank_svd(matrix_of(2, 2, {1, 0, 0, 2e-8f})), 1);
}

TEST(F2Pinv, WorkedCases) {
  // The transposed case: B = I, so the result is G^T.
  const t_matrix wide = matrix_of(2, 3, {1, 0, 0, 0, 1, 0});
  EXPECT_EQ(m_pseudoinv_chol(wide).elements, m_trans(wide).elements);
  const t_matrix d = matrix_of(2, 2, {2, 0, 0, 0.5f});
  EXPECT_EQ(m_pseudoinv_chol(d).elements, matrix_of(2, 2, {0.5f, 0, 0, 2}).elements);
  // A Cholesky tolerance of 1 drops the pivot 0.25.
  EXPECT_EQ(m_pinv(d, 10000.0f, 1.0f).elements, matrix_of(2, 2, {0.5f, 0, 0, 0}).elements);
  // "svd" ignores chol_tol; a huge svd_tol makes no sweep at all.
  EXPECT_EQ(m_pinv(d, 10000.0f, 1.0f, std::nullopt, std::nullopt, std::nullopt, "svd").elements,
            matrix_of(2, 2, {0.5f, 0, 0, 2}).elements);
  // A singular value below eps is dropped, not inverted.
  const t_matrix tiny = matrix_of(2, 2, {4, 0, 0, 1e-9f});
  EXPECT_EQ(m_pseudoinv_svd(tiny, 10000.0f).elements, matrix_of(2, 2, {0.25f, 0, 0, 0}).elements);
  const t_matrix y = m_pseudoinv_svd(matrix_of(2, 3, {1, 2, 3, 4, 5, 7}), 1e-3f, std::nullopt, "ho");
  EXPECT_EQ(y.rows, 3);
  EXPECT_EQ(y.cols, 2);
}

TEST(F2Pinv, NothingKeptGivesTheZeroMatrixOfTheTransposedShape) {
  t_matrix zero;
  m_init(zero, 2, 3);
  const t_matrix y = m_pseudoinv_chol(zero);
  EXPECT_EQ(y.rows, 3);
  EXPECT_EQ(y.cols, 2);
  EXPECT_EQ(y.elements, std::vector<float>(6, 0.0f));
  // A tolerance above every pivot keeps nothing either.
  const t_matrix z = m_pinv(matrix_of(2, 2, {1, 2, 3, 4}), std::nullopt, 1e6f);
  EXPECT_EQ(z.elements, std::vector<float>(4, 0.0f));
}

// A X A = A, X A X = X, and A X, X A symmetric.
void expect_moore_penrose(const t_matrix& a, const t_matrix& x, float tol) {
  ASSERT_EQ(x.rows, a.cols);
  ASSERT_EQ(x.cols, a.rows);
  const t_matrix ax = m_prod_mat(a, x);
  const t_matrix xa = m_prod_mat(x, a);
  F2_EXPECT_NEAR_MATRIX(m_prod_mat(ax, a), a, tol);
  F2_EXPECT_NEAR_MATRIX(m_prod_mat(xa, x), x, tol * 10.0f);
  F2_EXPECT_NEAR_MATRIX(m_trans(ax), ax, tol);
  F2_EXPECT_NEAR_MATRIX(m_trans(xa), xa, tol);
}

TEST(F2Pinv, MoorePenroseConditionsOnFullRankInputs) {
  struct shape {
    std::int32_t rows, cols;
  };
  for (const shape s : {shape{4, 4}, shape{6, 3}, shape{3, 5}}) {
    SCOPED_TRACE(std::to_string(s.rows) + "x" + std::to_string(s.cols));
    // Shifted away from zero singular values: entries in [1, 3) on the
    // diagonal band, [-1, 1) elsewhere.
    t_matrix a = f2::random_matrix(s.rows, s.cols, static_cast<unsigned>(s.rows + 17 * s.cols));
    for (std::int32_t i = 1; i <= std::min(s.rows, s.cols); ++i) {
      a.elements[static_cast<std::size_t>((i - 1) * s.rows + (i - 1))] += 2.0f;
    }
    expect_moore_penrose(a, m_pinv(a), 1e-4f);
    expect_moore_penrose(a, m_pinv(a, 1e-3f, std::nullopt, std::nullopt, "ho", std::nullopt, "svd"), 5e-3f);
    if (s.rows == s.cols) expect_moore_penrose(a, m_pseudoinv_svd(a, 1e-6f), 1e-5f);
  }
}

}  // namespace
}  // namespace orvik
