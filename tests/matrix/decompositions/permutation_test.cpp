// Pivoting by sorting rows or columns on their magnitudes: ties, NaN, the
// count of exchanges and M = P*A.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <cmath>
#include <limits>

namespace orvik {
namespace {

using test::element;
using test::expect_same_matrix;
using test::matrix_of;

const float nan = std::numeric_limits<float>::quiet_NaN();

TEST(Permutation, WithoutPivotingIsACopy) {
  const t_matrix a = matrix_of(2, 2, {1, 4, 3, 2});
  for (const t_m_and_p& r : {m_permut(a), m_permut(a, false), m_permut_col(a), m_permut_col(a, false)}) {
    expect_same_matrix(r.M, a);
    EXPECT_FALSE(r.P.allocated);
    EXPECT_EQ(r.nb_permut, 0);
  }
}

TEST(Permutation, EveryColumnIsExaminedAndEveryExchangeCounted) {
  // Column 1 moves row 2 up, column 2 moves it back.
  const t_matrix a = matrix_of(2, 2, {1, 4, 3, 2});
  t_m_and_p r = m_permut(a, true);
  expect_same_matrix(r.M, a);
  expect_same_matrix(r.P, matrix_of(2, 2, {1, 0, 0, 1}));
  EXPECT_EQ(r.nb_permut, 2);
  m_destruct_m_and_p(r);
  EXPECT_FALSE(r.M.allocated);
  EXPECT_FALSE(r.P.allocated);
  EXPECT_EQ(r.nb_permut, 2);
  expect_same_matrix(a, matrix_of(2, 2, {1, 4, 3, 2}));
}

TEST(Permutation, TiesGoToTheLowestIndex) {
  const t_m_and_p rows = m_permut(matrix_of(3, 1, {1, -5, 5}), true);
  expect_same_matrix(rows.M, matrix_of(3, 1, {-5, 5, 1}));
  expect_same_matrix(rows.P, matrix_of(3, 3, {0, 1, 0, 0, 0, 1, 1, 0, 0}));
  EXPECT_EQ(rows.nb_permut, 2);
  const t_m_and_p cols = m_permut_col(matrix_of(1, 3, {1, -5, 5}), true);
  expect_same_matrix(cols.M, matrix_of(1, 3, {-5, 5, 1}));
  expect_same_matrix(cols.P, matrix_of(3, 3, {0, 0, 1, 1, 0, 0, 0, 1, 0}));
  EXPECT_EQ(cols.nb_permut, 2);
  // Equal magnitudes everywhere: nothing moves.
  const t_m_and_p same = m_permut(matrix_of(2, 2, {1, -1, -1, 1}), true);
  expect_same_matrix(same.P, matrix_of(2, 2, {1, 0, 0, 1}));
  EXPECT_EQ(same.nb_permut, 0);
  const t_m_and_p one_row = m_permut(matrix_of(1, 3, {3, 1, 2}), true);
  expect_same_matrix(one_row.M, matrix_of(1, 3, {3, 1, 2}));
  expect_same_matrix(one_row.P, matrix_of(1, 1, {1}));
  EXPECT_EQ(one_row.nb_permut, 0);
}

TEST(Permutation, NanIsNeverChosenNorDisplaced) {
  const t_m_and_p stays = m_permut(matrix_of(3, 1, {nan, 1, 2}), true);
  EXPECT_TRUE(std::isnan(element(stays.M, 1, 1)));
  EXPECT_EQ(element(stays.M, 2, 1), 2.0f);
  EXPECT_EQ(element(stays.M, 3, 1), 1.0f);
  EXPECT_EQ(stays.nb_permut, 1);
  const t_m_and_p never = m_permut(matrix_of(3, 1, {1, nan, 0.5f}), true);
  EXPECT_EQ(never.nb_permut, 0);
  EXPECT_EQ(element(never.M, 1, 1), 1.0f);
}

TEST(Permutation, RowsAreSortedByTheLastColumnAndMEqualsPA) {
  const t_matrix a = test::random_matrix(6, 4, 11);
  const t_m_and_p r = m_permut(a, true);
  for (std::int32_t i = 1; i < 6; ++i) EXPECT_GE(std::fabs(element(r.M, i, 4)), std::fabs(element(r.M, i + 1, 4)));
  const t_matrix pa = m_prod_mat(r.P, a);
  expect_same_matrix(pa, r.M);
  const t_m_and_p c = m_permut_col(a, true);
  for (std::int32_t j = 1; j < 4; ++j) EXPECT_GE(std::fabs(element(c.M, 6, j)), std::fabs(element(c.M, 6, j + 1)));
  const t_matrix ap = m_prod_mat(a, c.P);
  expect_same_matrix(ap, c.M);
}

TEST(Permutation, Stops) {
  const t_matrix fresh{};
  test::expect_stops({
      {"permut fresh", [&] { m_permut(fresh, true); }, 2001, "m_permut::matrix not allocated"},
      {"permut fresh, no pivoting", [&] { m_permut(fresh); }, 2001, "m_permut::matrix not allocated"},
      {"permut_col fresh", [&] { m_permut_col(fresh, true); }, 2001, "m_permut_col::matrix not allocated"},
  });
}

}  // namespace
}  // namespace orvik
