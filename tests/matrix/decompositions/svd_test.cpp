// Singular value decomposition: worked cases, the shapes the QR method
// gives, the residual and orthogonality ratios on random matrices, singular
// values against LAPACK, and every stop.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::element;
using test::matrix_of;

TEST(SvdDecomposition, TwoByTwoConvergesToKnownValuesInIterationOrder) {
  const t_matrix a = matrix_of(2, 2, {1, 2, 3, 4});
  const t_vector s = m_decompsvd_s(a);
  ASSERT_EQ(s.size, 2);
  EXPECT_NEAR(s.elements[0], 5.464986f, 2e-6f);
  EXPECT_NEAR(s.elements[1], 0.365966f, 1e-6f);
  const t_svd f = m_decompsvd(a);
  // The vector and the diagonal of S come from the same iteration.
  EXPECT_EQ(m_diag(f.S).elements, s.elements);
  EXPECT_LE(test::svd_residual_ratio(a, f), test::residual_threshold);
}

TEST(SvdDecomposition, DiagonalInputTakesOneSweepAndMovesSignsIntoU) {
  const t_matrix a = matrix_of(2, 2, {3, 0, 0, -2});
  // One sweep suffices: a limit of zero sweeps past the first still converges.
  const t_vector s = m_decompsvd_s(a, std::nullopt, 0);
  EXPECT_EQ(s.elements, (std::vector<float>{3.0f, 2.0f}));
  const t_svd f = m_decompsvd(a, std::nullopt, 0);
  EXPECT_EQ(f.S.elements, (std::vector<float>{3, 0, 0, 2}));
  EXPECT_LE(test::svd_residual_ratio(a, f), test::residual_threshold);
}

TEST(SvdDecomposition, NoSweepForAHugeTolerance) {
  const t_matrix a = matrix_of(2, 3, {-1, 5, 6, 7, 0.5f, 9});
  const t_vector s = m_decompsvd_s(a, 10000.0f);
  EXPECT_EQ(s.elements, (std::vector<float>{1.0f, 0.5f}));
  const t_svd f = m_decompsvd(a, 10000.0f);
  // Column 1 of U is negated where A(1, 1) < eps.
  EXPECT_EQ(f.U.elements, (std::vector<float>{-1, -0.0f, 0, 1}));
  EXPECT_EQ(f.V.elements, m_identity(3).elements);
}

TEST(SvdDecomposition, ShapesFollowTheQrMethod) {
  const t_matrix a = matrix_of(3, 2, {1, 2, 3, 4, 5, 7});
  const t_svd ho = m_decompsvd(a, 1e-3f, std::nullopt, "ho");
  EXPECT_EQ((std::vector<std::int32_t>{ho.S.rows, ho.S.cols, ho.V.rows, ho.V.cols, ho.U.rows, ho.U.cols}),
            (std::vector<std::int32_t>{3, 2, 2, 2, 3, 3}));
  const t_svd gs = m_decompsvd(a);
  EXPECT_EQ((std::vector<std::int32_t>{gs.U.rows, gs.U.cols}), (std::vector<std::int32_t>{3, 2}));
  // S was made last, with the sizes of A.
  t_matrix m;
  m_init(m);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.cols, 2);
  t_svd copy = gs;
  m_destruct_t_svd(copy);
  EXPECT_FALSE(copy.S.allocated || copy.V.allocated || copy.U.allocated);
  m_destruct_t_svd(copy);
}

// Householder leaves tiny columns unreduced (its absolute test), so its SVD
// settles at a measure of about 1e-5 and is asked for a looser tolerance.
struct svd_setting {
  const char* method;
  float tol;
};
const svd_setting svd_settings[] = {{"ho", 1e-3f}, {"gs", 1e-6f}, {"gsro", 1e-6f}};

TEST(SvdDecomposition, RecombinesRandomMatrices) {
  struct shape {
    std::int32_t rows, cols;
  };
  for (const shape s : {shape{4, 4}, shape{5, 3}, shape{6, 6}}) {
    for (const svd_setting& setting : svd_settings) {
      SCOPED_TRACE(std::string(setting.method) + " " + std::to_string(s.rows) + "x" + std::to_string(s.cols));
      const t_matrix a = test::random_matrix(s.rows, s.cols, static_cast<unsigned>(100 + s.rows * s.cols));
      const t_svd f = m_decompsvd(a, setting.tol, std::nullopt, setting.method);
      const double ratio = test::svd_residual_ratio(a, f, setting.tol);
      EXPECT_LE(ratio, test::residual_threshold);
      EXPECT_LE(test::orthogonality_ratio(f.V), test::orthogonality_threshold);
      for (std::int32_t i = 1; i <= std::min(s.rows, s.cols); ++i) EXPECT_GE(element(f.S, i, i), 0.0f);
    }
  }
}

TEST(SvdDecomposition, SingularValuesMatchReferenceLapack) {
#if ORVIK_HAVE_LAPACK
  struct shape {
    std::int32_t rows, cols;
  };
  for (const shape s : {shape{4, 4}, shape{6, 3}, shape{3, 5}}) {
    for (const svd_setting& setting : svd_settings) {
      SCOPED_TRACE(std::string(setting.method) + " " + std::to_string(s.rows) + "x" + std::to_string(s.cols));
      const t_matrix a = test::random_matrix(s.rows, s.cols, static_cast<unsigned>(7 * s.rows + s.cols));
      const t_vector ours = m_decompsvd_s(a, setting.tol, std::nullopt, setting.method);
      std::vector<float> mine = ours.elements;
      std::sort(mine.begin(), mine.end(), std::greater<>());
      const std::vector<double> reference = test::reference_singular_values(a);
      ASSERT_EQ(mine.size(), reference.size());
      for (std::size_t i = 0; i < mine.size(); ++i) {
        const double r = test::agreement_ratio(mine[i], reference[i], reference[0], std::max(s.rows, s.cols));
        EXPECT_LE(r, test::agreement_threshold) << i;
      }
    }
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(SvdDecomposition, Stops) {
  const t_matrix fresh{};
  const t_matrix m22 = matrix_of(2, 2, {1, 2, 3, 4});
  test::expect_stops({
      {"svd_s fresh", [&] { m_decompsvd_s(fresh); }, 2001, "m_decompsvd_s::matrix not allocated"},
      {"svd_s one sweep", [&] { m_decompsvd_s(m22, std::nullopt, 0); }, 301, "m_decompsvd_s::svd method diverge"},
      {"svd fresh", [&] { m_decompsvd(fresh); }, 2001, "m_decompsvd::matrix not allocated"},
      {"svd one sweep", [&] { m_decompsvd(m22, std::nullopt, 0); }, 301, "m_decompsvd::svd method diverge"},
      // A negative limit makes no sweep at all, and the first measure is too big.
      {"svd_s negative limit",
       [] {
         m_decompsvd_s(matrix_of(2, 3, {-1, 5, 6, 7, 0.5f, 9}), std::nullopt, -1);
       },
       301, "m_decompsvd_s::svd method diverge"},
      // The default sweep limit of a very tall shape must stay inside int32
      // (caught by the sanitized build) before m_trans refuses the shape.
      {"svd_s very tall default limit", [] { m_decompsvd_s(m_zeros(30000000, 0)); }, 201,
       "m_init::row is nil or negative"},
      // A refused factorization is answered by the fast SVD only for a
      // finite matrix: this one keeps the stop (its first column is zero).
      {"svd passes on 305 for a matrix that is not finite",
       [] {
         m_decompsvd(matrix_of(3, 3, {0, 0, INFINITY, 0, 0, 0, 0, 0, 1}));
       },
       305, "m_decompQR_GramSchimdt::QR decomposition not exist"},
  });
}

// Where plain Gram-Schmidt refuses a rank-deficient matrix, the front ends
// answer from m_svd, whatever the sweep limit, in the shapes of the sweeps'
// result, with S made last.
TEST(SvdDecomposition, RefusedFactorizationIsAnsweredByTheFastSvd) {
  struct shape {
    std::int32_t rows, cols;
  };
  for (const shape sh : {shape{3, 3}, shape{6, 3}, shape{3, 5}}) {
    SCOPED_TRACE(std::to_string(sh.rows) + "x" + std::to_string(sh.cols));
    // Column 2 is zero: Gram-Schmidt refuses it.
    t_matrix a = test::random_matrix(sh.rows, sh.cols, static_cast<unsigned>(40 + sh.rows + sh.cols));
    const auto entry = [&](std::int32_t i, std::int32_t j) -> float& {
      return a.elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(sh.rows) +
                        static_cast<std::size_t>(i - 1)];
    };
    for (std::int32_t i = 1; i <= sh.rows; ++i) entry(i, 2) = 0.0f;
    const t_vector fast = m_svd_values(a);
    for (const std::optional<std::int32_t> limit : {std::optional<std::int32_t>{}, std::optional<std::int32_t>{5}}) {
      EXPECT_EQ(m_decompsvd_s(a, std::nullopt, limit).elements, fast.elements);
      const t_svd f = m_decompsvd(a, std::nullopt, limit);
      EXPECT_EQ(test::remembered_matrix_shape(), std::make_pair(sh.rows, sh.cols));
      ASSERT_EQ(f.U.rows, sh.rows);
      ASSERT_EQ(f.U.cols, sh.cols);
      EXPECT_EQ(f.S.rows, sh.rows);
      EXPECT_EQ(f.S.cols, sh.cols);
      EXPECT_EQ(f.V.rows, sh.cols);
      EXPECT_EQ(f.V.cols, sh.cols);
      EXPECT_EQ(m_diag(f.S).elements, fast.elements);
      if (sh.rows >= sh.cols) {
        EXPECT_LE(test::svd_residual_ratio(a, f), test::residual_threshold);
      } else {
        // The columns past min(m, n) are zeros.
        for (std::int32_t j = sh.rows + 1; j <= sh.cols; ++j) {
          for (std::int32_t i = 1; i <= sh.rows; ++i) EXPECT_EQ(test::element(f.U, i, j), 0.0f);
        }
      }
    }
    EXPECT_EQ(m_rank(a, 1.0e-5f, "svd"), std::min(sh.rows, sh.cols - 1));
    const t_matrix x = m_pinv(a, 1.0e-4f, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "svd");
    EXPECT_LE(test::max_abs_diff(m_prod_mat(m_prod_mat(a, x), a), a), 1e-4f);
  }
  // Singular values 1 and 0.999 converge too slowly for the default limit of
  // 200 sweeps: the answer comes from m_svd too, but a limit the caller gave
  // keeps its stop.
  const t_matrix close = matrix_of(2, 2, {0.999360025f, 0.000479996204f, 0.000479966402f, 0.999640107f});
  EXPECT_EQ(m_decompsvd_s(close).elements, m_svd_values(close).elements);
  EXPECT_EQ(m_diag(m_decompsvd(close, std::nullopt, std::nullopt, "gsro").S).elements, m_svd_values(close).elements);
  test::expect_stops(
      {{"caller's limit", [&] { m_decompsvd(close, std::nullopt, 200); }, 301, "m_decompsvd::svd method diverge"}});
  // Householder keeps its full U.
  const t_svd h = m_decompsvd(matrix_of(3, 3, {1, 2, 0, 0, 0, 0, 0, 0, 1}), std::nullopt, std::nullopt, "ho");
  EXPECT_EQ(h.U.cols, 3);
}

}  // namespace
}  // namespace orvik
