// The determinant front end: method texts, worked cases, the methods against
// each other and against the diagonal of U, and every stop.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <cmath>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::element;
using test::matrix_of;

TEST(Determinant, MethodTextAndWorkedCases) {
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

TEST(Determinant, ThreeMethodsAgreeOnRandomMatrices) {
  for (const std::int32_t n : {2, 4, 6}) {
    SCOPED_TRACE(n);
    const t_matrix a = test::spd_matrix(n, static_cast<unsigned>(n));
    const float gj = m_det(a);
    for (const float other : {m_det(a, "lu"), m_det(a, "lu", true), m_det_lu_all(a, true), m_det(a, "chol")}) {
      EXPECT_LE(test::agreement_ratio(other, gj, gj, n), test::agreement_threshold);
    }
    // A general matrix, where pivoting changes the sign bookkeeping.
    const t_matrix g = test::random_matrix(n, n, static_cast<unsigned>(50 + n));
    EXPECT_LE(test::agreement_ratio(m_det(g, "lu", true), m_det(g), m_det(g), n), test::agreement_threshold);
  }
}

TEST(Determinant, GaussJordanAgainstTheDiagonalOfU) {
  unsigned seed = 90;
  for (std::int32_t n : {1, 2, 3, 5, 8}) {
    for (bool permute : {false, true}) {
      const t_matrix a = test::dominant_matrix(n, seed++);
      const t_lu lu = m_decomplu(a, permute);
      double product = lu.nb_permut % 2 == 0 ? 1.0 : -1.0;
      for (std::int32_t i = 1; i <= n; ++i) product *= element(lu.U, i, i);
      const double det = m_det_gaussj(a);
      EXPECT_LE(test::agreement_ratio(det, product, product, n), test::agreement_threshold)
          << n << " permute " << permute;
      // The sign of the permutation matrix is (-1)^nb_permut.
      if (permute) {
        EXPECT_EQ(m_det_gaussj(lu.P), lu.nb_permut % 2 == 0 ? 1.0f : -1.0f);
      }
    }
  }
}

TEST(Determinant, Stops) {
  const t_matrix fresh{};
  const t_matrix m23 = matrix_of(2, 3, {1, 2, 3, 4, 5, 7});
  test::expect_stops({
      {"det_lu fresh", [&] { m_det(fresh, "lu"); }, 2001, "m_det_lu::matrix not allocated"},
      {"det_lu not square", [&] { m_det_lu(m23); }, 202, "m_det_lu::square matrix expected"},
      {"det_lu_all fresh", [&] { m_det_lu_all(fresh); }, 2001, "m_det_lu_all::matrix not allocated"},
      {"det_chol fresh", [&] { m_det(fresh, "chol"); }, 2001, "m_det_chol::matrix not allocated"},
      {"det_chol not square", [&] { m_det_chol(m23); }, 202, "m_det_chol::square matrix expected"},
      {"det_chol passes on 304",
       [] {
         m_det(matrix_of(2, 2, {0, 1, 1, 0}), "chol");
       },
       304, "m_decompCholesky::matrix is not positive definite"},
  });
}

}  // namespace
}  // namespace orvik
