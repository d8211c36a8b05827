// Eigenvalues by shifted QR and by deflation: worked cases, symmetric
// matrices against LAPACK, the residual lines deflation prints, and every
// stop.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::matrix_of;

TEST(Eigenvalues, ShiftedQrWorkedCases) {
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

TEST(Eigenvalues, ShiftedQrMatchesReferenceLapackOnSymmetricMatrices) {
#if ORVIK_HAVE_LAPACK
  for (const std::int32_t n : {3, 5}) {
    for (const char* method : {"ho", "gsro"}) {
      SCOPED_TRACE(std::string(method) + " n=" + std::to_string(n));
      const t_matrix a = test::spd_matrix(n, static_cast<unsigned>(40 + n));
      const t_matrix before = a;
      const t_vector ours = m_eig_qr(a, 60, method);
      EXPECT_EQ(a.elements, before.elements);
      std::vector<float> mine = ours.elements;
      std::sort(mine.begin(), mine.end());
      const std::vector<double> reference = test::reference_symmetric_eigenvalues(a);
      ASSERT_EQ(mine.size(), reference.size());
      for (std::size_t i = 0; i < mine.size(); ++i) {
        const double r = test::agreement_ratio(mine[i], reference[i], reference.back(), n);
        EXPECT_LE(r, test::agreement_threshold) << i;
      }
    }
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(Eigenvalues, DeflationFindsPairsAndPrintsResiduals) {
  {
    const t_matrix a = matrix_of(2, 2, {3, 0, 0, 1});
    const test::child_result run = test::run_in_child([&] {
      const t_eig e = m_eig_deflation(a);
      if (std::fabs(e.eigvals.elements[0] - 3.0f) > 1e-5f || std::fabs(e.eigvals.elements[1] - 1.0f) > 1e-5f ||
          test::max_abs_diff(e.eigvecs, m_identity(2)) > 1e-5f) {
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
      const t_eig e = m_eig_deflation(a, test::vector_of({1, 0}));
      const bool ok =
          std::fabs(e.eigvals.elements[0] - 3.0f) < 1e-5f && std::fabs(e.eigvals.elements[1] - 1.0f) < 1e-5f &&
          test::max_abs_diff(e.eigvecs, matrix_of(2, 2, {1, 1, 1, -1})) < 1e-5f && a.elements == before.elements;
      std::fflush(stdout);
      std::_Exit(ok ? 0 : 3);
    });
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
  }
}

TEST(Eigenvalues, DeflationResidualsReachTheOutputBeforeALaterStop) {
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

TEST(Eigenvalues, Stops) {
  const t_matrix fresh{};
  const t_matrix m22 = matrix_of(2, 2, {1, 2, 3, 4});
  const t_matrix m23 = matrix_of(2, 3, {1, 2, 3, 4, 5, 7});
  test::expect_stops({
      {"eig_qr fresh", [&] { m_eig_qr(fresh, 3); }, 2001, "m_eig_qr::matrix not allocated"},
      {"eig_qr not square", [&] { m_eig_qr(m23, 3); }, 202, "m_eig_qr:: square matrix expected"},
      {"eig_qr passes on 305",
       [] {
         m_eig_qr(matrix_of(2, 2, {1, 0, 0, 1}), 1);
       },
       305, "m_decompQR_GramSchimdt::QR decomposition not exist"},
      {"deflation not square", [&] { m_eig_deflation(m23); }, 202, "m_eig_deflation:: square matrix expected"},
      {"deflation fresh", [&] { m_eig_deflation(fresh); }, 2001, "m_pow_eig::matrix not allocated"},
      {"deflation with maxiter 1", [&] { m_eig_deflation(m22, std::nullopt, std::nullopt, 1); }, 201,
       "v_init::positive size expected"},
  });
}

}  // namespace
}  // namespace orvik
