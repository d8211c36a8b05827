// The pseudo-inverse by Cholesky and by SVD: worked cases, the zero result,
// the Moore-Penrose conditions, and every stop.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::matrix_of;

TEST(PseudoInverse, WorkedCases) {
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

TEST(PseudoInverse, NothingKeptGivesTheZeroMatrixOfTheTransposedShape) {
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

// The four Moore-Penrose conditions as residual ratios: ||A X A - A||,
// ||X A X - X|| and the asymmetry of A X and X A, each over n times the norms
// that bound it and `unit` (eps, or the tolerance the SVD was asked for).
void expect_moore_penrose(const t_matrix& a, const t_matrix& x, double unit) {
  ASSERT_EQ(x.rows, a.cols);
  ASSERT_EQ(x.cols, a.rows);
  const test::wide_matrix wa = test::widen(a);
  const test::wide_matrix wx = test::widen(x);
  const test::wide_matrix ax = test::product(wa, wx);
  const test::wide_matrix xa = test::product(wx, wa);
  const double na = test::norm_1(wa);
  const double nx = test::norm_1(wx);
  const double n_unit = std::max(a.rows, a.cols) * unit;
  const double ratios[] = {
      test::norm_1(test::minus(test::product(ax, wa), wa)) / (n_unit * na * na * nx),
      test::norm_1(test::minus(test::product(xa, wx), wx)) / (n_unit * nx * nx * na),
      test::norm_1(test::minus(test::transpose(ax), ax)) / (n_unit * na * nx),
      test::norm_1(test::minus(test::transpose(xa), xa)) / (n_unit * na * nx),
  };
  for (const double r : ratios) EXPECT_LE(r, test::residual_threshold);
}

TEST(PseudoInverse, MoorePenroseConditionsOnFullRankInputs) {
  struct shape {
    std::int32_t rows, cols;
  };
  for (const shape s : {shape{4, 4}, shape{6, 3}, shape{3, 5}}) {
    SCOPED_TRACE(std::to_string(s.rows) + "x" + std::to_string(s.cols));
    // Shifted away from zero singular values: entries in [1, 3) on the
    // diagonal band, [-1, 1) elsewhere.
    t_matrix a = test::random_matrix(s.rows, s.cols, static_cast<unsigned>(s.rows + 17 * s.cols));
    for (std::int32_t i = 1; i <= std::min(s.rows, s.cols); ++i) {
      a.elements[static_cast<std::size_t>(i - 1) * s.rows + (i - 1)] += 2.0f;
    }
    expect_moore_penrose(a, m_pinv(a), test::eps);
    expect_moore_penrose(a, m_pinv(a, 1e-3f, std::nullopt, std::nullopt, "ho", std::nullopt, "svd"), 1e-3);
    // Gram-Schmidt's thin U on any shape: S^+ fits U's columns.
    expect_moore_penrose(a, m_pseudoinv_svd(a, 1e-6f), 1e-6);
  }
}

// The default method's result misses the Penrose condition on a polynomial
// design matrix (its Gram matrix squares a condition number of 1e4 in
// single precision): the fast SVD's pseudo-inverse is returned instead.
TEST(PseudoInverse, CholeskyResultThatLostItsDigitsIsReplaced) {
  t_matrix x = m_zeros(30, 3);
  for (std::int32_t i = 1; i <= 30; ++i) {
    const float t = 100.0f + static_cast<float>(i);
    const auto row = static_cast<std::size_t>(i - 1);
    x.elements[row] = 1.0f;
    x.elements[30 + row] = t;
    x.elements[60 + row] = t * t;
  }
  expect_moore_penrose(x, m_pinv(x), 1e-4);
  // With the default threshold given explicitly (1e-9 times the smallest
  // Gram diagonal entry, 30) the Cholesky result stands, and it is the one
  // that lost its digits.
  const t_matrix kept = m_pinv(x, std::nullopt, 1e-9f * 30.0f);
  const t_matrix residual = m_minus(m_prod_mat(m_prod_mat(x, kept), x), x);
  EXPECT_GT(m_norm(residual, -1), 0x1p-10f * m_norm(x, -1));
}

TEST(PseudoInverse, Stops) {
  const t_matrix fresh{};
  test::expect_stops({
      {"pinv svd fresh",
       [&] { m_pinv(fresh, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "svd"); }, 2001,
       "m_decompsvd::matrix not allocated"},
      {"pinv chol fresh", [&] { m_pinv(fresh); }, 2001, "m_trans::matrix not allocated"},
      {"pinv chol wide fresh",
       [] {
         m_pseudoinv_chol(t_matrix{1, 3, {}, false});
       },
       2001, "m_trans::matrix not allocated"},
  });
}

}  // namespace
}  // namespace orvik
