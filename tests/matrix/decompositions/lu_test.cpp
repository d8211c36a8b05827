// Pivoting, LU and Cholesky on small matrices with known results, the
// remembered sizes they leave, and the untouched input.

#include "support/generators.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <bit>
#include <cmath>
#include <limits>

namespace orvik {
namespace {

using f1::element;
using f1::rows_of;

const float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();

void expect_matrix(const t_matrix& m, const t_matrix& expected) {
  ASSERT_TRUE(m.allocated);
  ASSERT_EQ(m.rows, expected.rows);
  ASSERT_EQ(m.cols, expected.cols);
  for (std::int32_t i = 1; i <= m.rows; ++i)
    for (std::int32_t j = 1; j <= m.cols; ++j)
      EXPECT_EQ(element(m, i, j), element(expected, i, j)) << "(" << i << "," << j << ")";
}

// The shape m_init falls back on when no size is given.
std::pair<std::int32_t, std::int32_t> remembered_matrix_shape() {
  t_matrix probe;
  m_init(probe);
  return {probe.rows, probe.cols};
}

TEST(F1Permut, WithoutPivotingIsACopy) {
  const t_matrix a = rows_of({{1, 4}, {3, 2}});
  for (const t_m_and_p& r : {m_permut(a), m_permut(a, false), m_permut_col(a), m_permut_col(a, false)}) {
    expect_matrix(r.M, a);
    EXPECT_FALSE(r.P.allocated);
    EXPECT_EQ(r.nb_permut, 0);
  }
}

TEST(F1Permut, EveryColumnIsExaminedAndEveryExchangeCounted) {
  // Column 1 moves row 2 up, column 2 moves it back.
  const t_matrix a = rows_of({{1, 4}, {3, 2}});
  t_m_and_p r = m_permut(a, true);
  expect_matrix(r.M, a);
  expect_matrix(r.P, rows_of({{1, 0}, {0, 1}}));
  EXPECT_EQ(r.nb_permut, 2);
  m_destruct_m_and_p(r);
  EXPECT_FALSE(r.M.allocated);
  EXPECT_FALSE(r.P.allocated);
  EXPECT_EQ(r.nb_permut, 2);
  expect_matrix(a, rows_of({{1, 4}, {3, 2}}));
}

TEST(F1Permut, TiesGoToTheLowestIndex) {
  const t_m_and_p rows = m_permut(rows_of({{1}, {-5}, {5}}), true);
  expect_matrix(rows.M, rows_of({{-5}, {5}, {1}}));
  expect_matrix(rows.P, rows_of({{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}));
  EXPECT_EQ(rows.nb_permut, 2);
  const t_m_and_p cols = m_permut_col(rows_of({{1, -5, 5}}), true);
  expect_matrix(cols.M, rows_of({{-5, 5, 1}}));
  expect_matrix(cols.P, rows_of({{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}));
  EXPECT_EQ(cols.nb_permut, 2);
  // Equal magnitudes everywhere: nothing moves.
  const t_m_and_p same = m_permut(rows_of({{1, -1}, {-1, 1}}), true);
  expect_matrix(same.P, rows_of({{1, 0}, {0, 1}}));
  EXPECT_EQ(same.nb_permut, 0);
  const t_m_and_p one_row = m_permut(rows_of({{3, 1, 2}}), true);
  expect_matrix(one_row.M, rows_of({{3, 1, 2}}));
  expect_matrix(one_row.P, rows_of({{1}}));
  EXPECT_EQ(one_row.nb_permut, 0);
}

TEST(F1Permut, NanIsNeverChosenNorDisplaced) {
  const t_m_and_p stays = m_permut(rows_of({{nan}, {1}, {2}}), true);
  EXPECT_TRUE(std::isnan(element(stays.M, 1, 1)));
  EXPECT_EQ(element(stays.M, 2, 1), 2.0f);
  EXPECT_EQ(element(stays.M, 3, 1), 1.0f);
  EXPECT_EQ(stays.nb_permut, 1);
  const t_m_and_p never = m_permut(rows_of({{1}, {nan}, {0.5f}}), true);
  EXPECT_EQ(never.nb_permut, 0);
  EXPECT_EQ(element(never.M, 1, 1), 1.0f);
}

TEST(F1Permut, RowsAreSortedByTheLastColumnAndMEqualsPA) {
  const t_matrix a = f1::random_matrix(6, 4, 11);
  const t_m_and_p r = m_permut(a, true);
  for (std::int32_t i = 1; i < 6; ++i) EXPECT_GE(std::fabs(element(r.M, i, 4)), std::fabs(element(r.M, i + 1, 4)));
  const t_matrix pa = m_prod_mat(r.P, a);
  expect_matrix(pa, r.M);
  const t_m_and_p c = m_permut_col(a, true);
  for (std::int32_t j = 1; j < 4; ++j) EXPECT_GE(std::fabs(element(c.M, 6, j)), std::fabs(element(c.M, 6, j + 1)));
  const t_matrix ap = m_prod_mat(a, c.P);
  expect_matrix(ap, c.M);
}

TEST(F1Lu, SquareWithoutPivoting) {
  const t_matrix a = rows_of({{4, 3}, {6, 3}});
  t_lu lu = m_decomplu(a);
  expect_matrix(lu.L, rows_of({{1, 0}, {1.5f, 1}}));
  expect_matrix(lu.U, rows_of({{4, 3}, {0, -1.5f}}));
  EXPECT_FALSE(lu.P.allocated);
  EXPECT_EQ(lu.nb_permut, 0);
  const t_m_and_p compact = m_decomplu_m(a);
  expect_matrix(compact.M, rows_of({{4, 3}, {1.5f, -1.5f}}));
  EXPECT_FALSE(compact.P.allocated);
  m_destruct_lu(lu);
  EXPECT_FALSE(lu.L.allocated || lu.U.allocated || lu.P.allocated);
  expect_matrix(a, rows_of({{4, 3}, {6, 3}}));
}

TEST(F1Lu, WithPivoting) {
  const t_lu lu = m_decomplu(rows_of({{2, 1}, {4, 1}}), true);
  expect_matrix(lu.P, rows_of({{0, 1}, {1, 0}}));
  EXPECT_EQ(lu.nb_permut, 1);
  expect_matrix(lu.L, rows_of({{1, 0}, {0.5f, 1}}));
  expect_matrix(lu.U, rows_of({{4, 1}, {0, 0.5f}}));
  const t_m_and_p compact = m_decomplu_m(rows_of({{2, 1}, {4, 1}}), true);
  expect_matrix(compact.M, rows_of({{4, 1}, {0.5f, 0.5f}}));
  expect_matrix(compact.P, lu.P);
  EXPECT_EQ(compact.nb_permut, 1);
}

TEST(F1Lu, ZeroPivotFollowsIeee) {
  const t_lu lu = m_decomplu(rows_of({{0, 1}, {1, 0}}));
  EXPECT_EQ(element(lu.L, 2, 1), inf);
  EXPECT_EQ(element(lu.U, 2, 2), -inf);
  const t_m_and_p compact = m_decomplu_m(rows_of({{0, 1}, {1, 0}}));
  EXPECT_EQ(element(compact.M, 2, 1), inf);
  EXPECT_EQ(element(compact.M, 2, 2), -inf);
  const t_lu one = m_decomplu(rows_of({{0}}));
  expect_matrix(one.L, rows_of({{1}}));
  expect_matrix(one.U, rows_of({{0}}));
}

TEST(F1Lu, RectangularShapesAndRememberedSizes) {
  const t_lu wide = m_decomplu(rows_of({{1, 2, 3}, {4, 5, 6}}));
  expect_matrix(wide.L, rows_of({{1, 0}, {4, 1}}));
  expect_matrix(wide.U, rows_of({{1, 2, 3}, {0, -3, -6}}));
  EXPECT_EQ(remembered_matrix_shape(), std::make_pair(2, 3));
  const t_lu tall = m_decomplu(rows_of({{1, 2}, {3, 4}, {5, 6}, {7, 8}}));
  expect_matrix(tall.L, rows_of({{1, 0}, {3, 1}, {5, 2}, {7, 3}}));
  expect_matrix(tall.U, rows_of({{1, 2}, {0, -2}}));
  // U is created after L, so its shape is the one remembered.
  EXPECT_EQ(remembered_matrix_shape(), std::make_pair(2, 2));
  const t_m_and_p compact = m_decomplu_m(rows_of({{1, 2}, {3, 4}, {5, 6}}));
  expect_matrix(compact.M, rows_of({{1, 2}, {3, -2}, {5, 2}}));
}

TEST(F1Lu, SeparateAndCompactFormsHoldTheSameBits) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    for (bool permute : {false, true}) {
      const std::int32_t r = 2 + static_cast<std::int32_t>(seed % 4);
      const std::int32_t c = 2 + static_cast<std::int32_t>((seed * 7) % 5);
      const t_matrix a = f1::random_matrix(r, c, seed);
      const t_lu lu = m_decomplu(a, permute);
      const t_m_and_p compact = m_decomplu_m(a, permute);
      for (std::int32_t i = 1; i <= r; ++i)
        for (std::int32_t j = 1; j <= c; ++j) {
          const float packed = element(compact.M, i, j);
          const float separate = j < i ? element(lu.L, i, j) : element(lu.U, i, j);
          EXPECT_EQ(std::bit_cast<std::uint32_t>(packed), std::bit_cast<std::uint32_t>(separate));
        }
      EXPECT_EQ(lu.nb_permut, compact.nb_permut);
    }
  }
}

TEST(F1Cholesky, KnownFactors) {
  const t_m_and_p r = m_decompcholesky(rows_of({{4, 2}, {2, 3}}));
  expect_matrix(r.M, rows_of({{2, 0}, {1, std::sqrt(2.0f)}}));
  EXPECT_FALSE(r.P.allocated);
  EXPECT_EQ(r.nb_permut, 0);
  // The entry above the diagonal is never read.
  expect_matrix(m_decompcholesky(rows_of({{4, 99}, {2, 3}})).M, r.M);
  expect_matrix(m_decompcholesky(rows_of({{4}})).M, rows_of({{2}}));
  expect_matrix(m_decompcholesky(rows_of({{9, 0, 0}, {0, 4, 0}, {0, 0, 2}})).M,
                rows_of({{3, 0, 0}, {0, 2, 0}, {0, 0, std::sqrt(2.0f)}}));
}

TEST(F1Cholesky, PivotJustAboveEpsIsAccepted) {
  const float above = std::nextafter(std::ldexp(1.0f, -24), 1.0f);
  const t_m_and_p r = m_decompcholesky(rows_of({{1, 0}, {0, above}}));
  EXPECT_EQ(element(r.M, 2, 2), std::sqrt(above));
  EXPECT_EQ(element(m_decompcholesky(rows_of({{above}})).M, 1, 1), std::sqrt(above));
}

TEST(F1Cholesky, WithPivotingFactorsTheReorderedRows) {
  // Rows are exchanged, not rows and columns: the factor is that of the
  // matrix whose lower triangle is the one of P*A = (1 3; 1 2).
  const t_m_and_p r = m_decompcholesky(rows_of({{1, 2}, {1, 3}}), true);
  expect_matrix(r.P, rows_of({{0, 1}, {1, 0}}));
  EXPECT_EQ(r.nb_permut, 1);
  expect_matrix(r.M, rows_of({{1, 0}, {1, 1}}));
  // A reordering can bring a zero first pivot: (1 0; 0 5) becomes (0 5; 1 0).
  EXPECT_THROW(
      {
        orvik::raising_scope guard;
        m_decompcholesky(rows_of({{1, 0}, {0, 5}}), true);
      },
      orvik::error);
}

}  // namespace
}  // namespace orvik
