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

  // A zero leading pivot: the elimination without pivoting breaks down,
  // and the determinant comes from LU with partial pivoting instead.
  const t_matrix swap = matrix_of(2, 2, {0, 1, 1, 0});
  EXPECT_EQ(m_det(swap, "LU"), -1.0f);
  EXPECT_EQ(m_det(swap, "lu"), -1.0f);
  EXPECT_EQ(m_det_lu_all(swap), -1.0f);
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

// Where LU without pivoting meets a zero pivot on a finite matrix, the
// partially pivoted elimination's determinant; every sound call keeps its
// own bits, and the rescue leaves the remembered sizes of the unpivoted run.
TEST(Determinant, ZeroPivotRescue) {
  // A zero leading pivot; the determinant is -5. Partial pivoting takes
  // rows 2 and then 3 as pivot rows (two exchanges): pivots 2, 3.5 and
  // 1 - (3 / 3.5) * 2, each rounded.
  const t_matrix a = matrix_of(3, 3, {0, 3, 1, 2, 1, 0, 1, 4, 2});
  const float d = m_det(a, "lu");
  const float third = 1.0f - (3.0f / 3.5f) * 2.0f;
  EXPECT_EQ(d, third * (3.5f * 2.0f));
  EXPECT_NEAR(d, -5.0f, 1e-5f);
  EXPECT_EQ(m_det_lu_all(a), d);

  // A zero pivot only at the end, on a nonsingular matrix: not a zero.
  const t_matrix late = matrix_of(2, 2, {1, 1, 1, 1 + 0x1p-23f});
  EXPECT_EQ(m_det(late, "lu"), m_det_lu(late));
  // A truly singular matrix still gives zero.
  EXPECT_EQ(m_det(matrix_of(2, 2, {1, 2, 2, 4}), "lu"), 0.0f);
  // Not finite input: the unpivoted result stands.
  EXPECT_TRUE(std::isnan(m_det(matrix_of(2, 2, {0, 1, 1, NAN}), "lu")));

  // Sound calls keep their bits: the same value as the diagonal of U.
  for (std::int32_t n : {2, 5, 9}) {
    const t_matrix b = test::dominant_matrix(n, 300 + static_cast<unsigned>(n));
    const t_lu lu = m_decomplu(b);
    float product = 1.0f;
    for (std::int32_t i = 1; i <= n; ++i) product = element(lu.U, i, i) * product;
    EXPECT_EQ(m_det(b, "lu"), product) << n;
  }

  // The rescue adds no stop, no line and no remembered size of its own.
  const test::child_result r = test::run_in_child([&] {
    t_vector v;
    v_init(v, 7);
    const float rescued = m_det(a, "lu");
    t_vector after;
    v_init(after);
    std::printf("%d %d\n", rescued == d ? 1 : 0, after.size);
  });
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "1 3\n");
  {
    const raising_scope raising;
    EXPECT_EQ(m_det(a, "lu"), d);
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
