// Singular value decomposition and eigenvalues: the worked cases, U*S*V^T = A,
// singular values and symmetric eigenvalues against reference LAPACK, the
// rank-one correction of the deflation method bit for bit.

#include "kernels/kernels.hpp"
#include "support/child.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#if ORVIK_HAVE_LAPACK
extern "C" {
void sgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, float* a, const int* lda, float* s,
             float* u, const int* ldu, float* vt, const int* ldvt, float* work, const int* lwork, int* info,
             std::size_t jobu_len, std::size_t jobvt_len);
void ssyev_(const char* jobz, const char* uplo, const int* n, float* a, const int* lda, float* w, float* work,
            const int* lwork, int* info, std::size_t jobz_len, std::size_t uplo_len);
}
#endif

namespace orvik {
namespace {

using f2::element;
using f2::matrix_of;

// U * S * V^T. A thin U (Gram-Schmidt, tall input) meets the top square of S.
t_matrix recombine(const t_svd& f) {
  const t_matrix s = f.U.cols == f.S.rows ? f.S : m_extract(f.S, 1, f.U.cols, 1, f.S.cols);
  return m_prod_mat(m_prod_mat(f.U, s), m_trans(f.V));
}

TEST(F2Svd, TwoByTwoConvergesToKnownValuesInIterationOrder) {
  const t_matrix a = matrix_of(2, 2, {1, 2, 3, 4});
  const t_vector s = m_decompsvd_s(a);
  ASSERT_EQ(s.size, 2);
  EXPECT_NEAR(s.elements[0], 5.464986f, 2e-6f);
  EXPECT_NEAR(s.elements[1], 0.365966f, 1e-6f);
  const t_svd f = m_decompsvd(a);
  // The vector and the diagonal of S come from the same iteration.
  EXPECT_EQ(m_diag(f.S).elements, s.elements);
  F2_EXPECT_NEAR_MATRIX(recombine(f), a, 2e-6f);
}

TEST(F2Svd, DiagonalInputTakesOneSweepAndMovesSignsIntoU) {
  const t_matrix a = matrix_of(2, 2, {3, 0, 0, -2});
  // One sweep suffices: a limit of zero sweeps past the first still converges.
  const t_vector s = m_decompsvd_s(a, std::nullopt, 0);
  EXPECT_EQ(s.elements, (std::vector<float>{3.0f, 2.0f}));
  const t_svd f = m_decompsvd(a, std::nullopt, 0);
  EXPECT_EQ(f.S.elements, (std::vector<float>{3, 0, 0, 2}));
  F2_EXPECT_NEAR_MATRIX(recombine(f), a, 1e-6f);
}

TEST(F2Svd, NoSweepForAHugeTolerance) {
  const t_matrix a = matrix_of(2, 3, {-1, 5, 6, 7, 0.5f, 9});
  const t_vector s = m_decompsvd_s(a, 10000.0f);
  EXPECT_EQ(s.elements, (std::vector<float>{1.0f, 0.5f}));
  const t_svd f = m_decompsvd(a, 10000.0f);
  // Column 1 of U is negated where A(1, 1) < eps.
  EXPECT_EQ(f.U.elements, (std::vector<float>{-1, -0.0f, 0, 1}));
  EXPECT_EQ(f.V.elements, m_identity(3).elements);
  // A negative limit makes no sweep either, and then the measure is too big.
  EXPECT_STOPS_WITH(m_decompsvd_s(a, std::nullopt, -1), 301, "m_decompsvd_s::svd method diverge");
}

TEST(F2Svd, ShapesFollowTheQrMethod) {
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
// settles at a measure of about 1e-5 and needs a looser tolerance.
struct svd_setting {
  const char* method;
  float tol;
  float residual;
};
const svd_setting svd_settings[] = {{"ho", 1e-3f, 2e-3f}, {"gs", 1e-6f, 1e-5f}, {"gsro", 1e-6f, 1e-5f}};

TEST(F2Svd, RecombinesRandomMatrices) {
  struct shape {
    std::int32_t rows, cols;
  };
  for (const shape s : {shape{4, 4}, shape{5, 3}, shape{6, 6}}) {
    for (const svd_setting& setting : svd_settings) {
      SCOPED_TRACE(std::string(setting.method) + " " + std::to_string(s.rows) + "x" + std::to_string(s.cols));
      const t_matrix a = f2::random_matrix(s.rows, s.cols, static_cast<unsigned>(100 + s.rows * s.cols));
      const t_svd f = m_decompsvd(a, setting.tol, std::nullopt, setting.method);
      F2_EXPECT_NEAR_MATRIX(recombine(f), a, setting.residual);
      F2_EXPECT_NEAR_MATRIX(f2::gram(f.V), m_identity(s.cols), setting.residual);
      for (std::int32_t i = 1; i <= std::min(s.rows, s.cols); ++i) EXPECT_GE(element(f.S, i, i), 0.0f);
    }
  }
}

#if ORVIK_HAVE_LAPACK
std::vector<float> sorted_descending(std::vector<float> values) {
  std::sort(values.begin(), values.end(), std::greater<>());
  return values;
}

std::vector<float> reference_singular_values(const t_matrix& a) {
  std::vector<float> work_a = a.elements;
  const int m = a.rows, n = a.cols, one = 1;
  std::vector<float> s(static_cast<std::size_t>(std::min(m, n)));
  float dummy = 0.0f;
  int info = 0, lwork = -1;
  float query = 0.0f;
  sgesvd_("N", "N", &m, &n, work_a.data(), &m, s.data(), &dummy, &one, &dummy, &one, &query, &lwork, &info, 1, 1);
  lwork = static_cast<int>(query);
  std::vector<float> work(static_cast<std::size_t>(lwork));
  sgesvd_("N", "N", &m, &n, work_a.data(), &m, s.data(), &dummy, &one, &dummy, &one, work.data(), &lwork, &info, 1, 1);
  EXPECT_EQ(info, 0);
  return s;
}

std::vector<float> reference_symmetric_eigenvalues(const t_matrix& a) {
  std::vector<float> work_a = a.elements;
  const int n = a.rows;
  std::vector<float> w(static_cast<std::size_t>(n));
  int info = 0;
  const int lwork = 8 * n;
  std::vector<float> work(static_cast<std::size_t>(lwork));
  ssyev_("N", "U", &n, work_a.data(), &n, w.data(), work.data(), &lwork, &info, 1, 1);
  EXPECT_EQ(info, 0);
  return w;
}
#endif

TEST(F2Svd, SingularValuesMatchReferenceLapack) {
#if ORVIK_HAVE_LAPACK
  struct shape {
    std::int32_t rows, cols;
  };
  for (const shape s : {shape{4, 4}, shape{6, 3}, shape{3, 5}}) {
    for (const svd_setting& setting : svd_settings) {
      SCOPED_TRACE(std::string(setting.method) + " " + std::to_string(s.rows) + "x" + std::to_string(s.cols));
      const t_matrix a = f2::random_matrix(s.rows, s.cols, static_cast<unsigned>(7 * s.rows + s.cols));
      const t_vector ours = m_decompsvd_s(a, setting.tol, std::nullopt, setting.method);
      const std::vector<float> mine = sorted_descending(ours.elements);
      const std::vector<float> reference = reference_singular_values(a);
      ASSERT_EQ(mine.size(), reference.size());
      for (std::size_t i = 0; i < mine.size(); ++i) EXPECT_NEAR(mine[i], reference[i], 2e-5f) << i;
    }
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(F2Eig, ShiftedQrWorkedCases) {
  const t_matrix a = matrix_of(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(m_eig_qr(a, 0).elements, (std::vector<float>{1, 4}));
  EXPECT_EQ(m_eig_qr(a, -3).elements, (std::vector<float>{1, 4}));
  EXPECT_EQ(m_eig_qr(matrix_of(3, 3, {5, 0, 0, 0, -2, 0, 0, 0, 7}), 4, "ho").elements, (std::vector<float>{5, -2, 7}));
  const t_vector e = m_eig_qr(matrix_of(2, 2, {2, 1, 1, 3}), 5);
  EXPECT_NEAR(e.elements[0], 1.381966f, 1e-6f);
  EXPECT_NEAR(e.elements[1], 3.618034f, 1e-6f);
  // H - 2I is orthogonal, so every step gives H back.
  const t_vector same = m_eig_qr(matrix_of(2, 2, {2, 1, 1, 2}), 7);
  EXPECT_NEAR(same.elements[0], 2.0f, 1e-6f);
  EXPECT_NEAR(same.elements[1], 2.0f, 1e-6f);
}

TEST(F2Eig, ShiftedQrMatchesReferenceLapackOnSymmetricMatrices) {
#if ORVIK_HAVE_LAPACK
  for (const std::int32_t n : {3, 5}) {
    for (const char* method : {"ho", "gsro"}) {
      SCOPED_TRACE(std::string(method) + " n=" + std::to_string(n));
      const t_matrix a = f2::random_spd(n, static_cast<unsigned>(40 + n));
      const t_matrix before = a;
      const t_vector ours = m_eig_qr(a, 60, method);
      EXPECT_EQ(a.elements, before.elements);
      std::vector<float> mine = ours.elements;
      std::sort(mine.begin(), mine.end());
      const std::vector<float> reference = reference_symmetric_eigenvalues(a);
      for (std::size_t i = 0; i < mine.size(); ++i) EXPECT_NEAR(mine[i], reference[i], 1e-4f) << i;
    }
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(F2Eig, DeflationFindsPairsAndPrintsResiduals) {
  {
    const t_matrix a = matrix_of(2, 2, {3, 0, 0, 1});
    const test::child_result run = test::run_in_child([&] {
      const t_eig e = m_eig_deflation(a);
      if (std::fabs(e.eigvals.elements[0] - 3.0f) > 1e-5f || std::fabs(e.eigvals.elements[1] - 1.0f) > 1e-5f ||
          f2::max_abs_diff(e.eigvecs, m_identity(2)) > 1e-5f) {
        std::fflush(stdout);
        std::_Exit(3);
      }
    });
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
  }
  {
    const t_matrix a = matrix_of(2, 2, {2, 1, 1, 2});
    const t_matrix before = a;
    const test::child_result run = test::run_in_child([&] {
      const t_eig e = m_eig_deflation(a, f2::vector_of({1, 0}));
      const bool ok =
          std::fabs(e.eigvals.elements[0] - 3.0f) < 1e-5f && std::fabs(e.eigvals.elements[1] - 1.0f) < 1e-5f &&
          f2::max_abs_diff(e.eigvecs, matrix_of(2, 2, {1, 1, 1, -1})) < 1e-5f && a.elements == before.elements;
      std::fflush(stdout);
      std::_Exit(ok ? 0 : 3);
    });
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
  }
}

TEST(F2Eig, DeflationResidualsReachTheOutputBeforeALaterStop) {
  // After 3 is removed, 1 and -1 are of equal magnitude and the power
  // iteration cannot settle.
  const t_matrix a = matrix_of(3, 3, {3, 0, 0, 0, 1, 0, 0, 0, -1});
  const test::child_result run = test::run_in_child([&] { m_eig_deflation(a, std::nullopt, std::nullopt, 60); });
  EXPECT_EQ(run.exit_code, 1);
  const std::string stop = test::error_line(301, "m_pow_eig::power eig method diverge");
  ASSERT_GE(run.out.size(), stop.size());
  EXPECT_EQ(run.out.substr(run.out.size() - stop.size()), stop);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
}

TEST(F2Eig, RankOneCorrectionMatchesAPlainLoopBitForBit) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<float> dist(-3.0f, 3.0f);
  for (const std::int32_t n : {1, 4, 9}) {
    t_matrix b = f2::random_matrix(n, n, static_cast<unsigned>(n));
    t_vector v;
    v_init(v, n);
    for (float& x : v.elements) x = dist(gen);
    const float factor = dist(gen);
    t_matrix expected = b;
    for (std::int32_t k = 0; k < n; ++k) {
      for (std::int32_t j = 0; j < n; ++j) {
        float& x = expected.elements[static_cast<std::size_t>(j * n + k)];
        x = std::fma(-factor, v.elements[static_cast<std::size_t>(k)] * v.elements[static_cast<std::size_t>(j)], x);
      }
    }
    kernels::optimised_kernels().deflate_rank_one(b.elements.data(), n, factor, v.elements.data());
    EXPECT_EQ(b.elements, expected.elements);
  }
}

}  // namespace
}  // namespace orvik
