// Sums, extremes, counts and the exact comparisons, with the NaN, infinity
// and signed-zero rules.

#include "support/records.hpp"

#include <gtest/gtest.h>
#include <orvik/matrix.hpp>

#include <bit>
#include <cmath>
#include <limits>

namespace orvik {
namespace {

using test::matrix_of;

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float big = std::numeric_limits<float>::max();

TEST(MatrixReductions, SumsAreHeldWideAndRoundedOnce) {
  // Storage order 1e8, 1, -1e8: a float accumulator would give 0.
  const t_matrix m = matrix_of(3, 1, {1.0e8f, 1.0f, -1.0e8f});
  EXPECT_EQ(m_sum(m), 1.0f);
  EXPECT_EQ(m_sumcol(m, 1), 1.0f);
  EXPECT_EQ(m_sumrow(m_trans(m), 1), 1.0f);
  const t_matrix g = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(m_sumcol(g, 3), 9.0f);
  EXPECT_EQ(m_sumrow(g, 2), 15.0f);
  EXPECT_EQ(m_sum(g), 21.0f);
  // A sum beyond the float range rounds to infinity only at the end.
  EXPECT_EQ(m_sum(matrix_of(1, 3, {big, big, -big})), big);
}

TEST(MatrixReductions, ExtremesSkipNaNAndStartAtTheLargestFinite) {
  EXPECT_EQ(m_min(matrix_of(2, 2, {inf, inf, inf, inf})), big);
  EXPECT_EQ(m_max(matrix_of(2, 2, {-inf, -inf, -inf, -inf})), -big);
  EXPECT_EQ(m_min(matrix_of(1, 2, {nan, nan})), big);
  EXPECT_EQ(m_max(matrix_of(1, 2, {nan, nan})), -big);
  const t_matrix m = matrix_of(2, 3, {nan, 4, -inf, 2, nan, 7});
  EXPECT_EQ(m_min(m), -inf);
  EXPECT_EQ(m_max(m), 7.0f);
  EXPECT_EQ(m_mincol(m, 1), 2.0f);
  EXPECT_EQ(m_maxcol(m, 2), 4.0f);
  EXPECT_EQ(m_minrow(m, 1), -inf);
  EXPECT_EQ(m_maxrow(m, 2), 7.0f);
  // Only a strictly smaller value replaces: the first of two zeros stays.
  EXPECT_TRUE(std::signbit(m_min(matrix_of(1, 2, {-0.0f, 0.0f}))));
  EXPECT_FALSE(std::signbit(m_max(matrix_of(1, 2, {0.0f, -0.0f}))));
}

// A matrix without columns still has rows to reduce: nothing is visited.
TEST(MatrixReductions, RowsWithoutElements) {
  const t_matrix m = m_zeros(3, 0);
  EXPECT_EQ(m_sumrow(m, 3), 0.0f);
  EXPECT_EQ(m_minrow(m, 2), big);
  EXPECT_EQ(m_maxrow(m, 3), -big);
  EXPECT_EQ(m_nbzerosrow(m, 2), 0);
}

TEST(MatrixReductions, CountsFollowTheSignRules) {
  const t_matrix m = matrix_of(2, 4, {0.0f, -0.0f, nan, inf, -inf, 3.0f, -2.0f, 0.0f});
  EXPECT_EQ(m_nbzeros(m), 3);
  EXPECT_EQ(m_nbpositive(m), 2);
  EXPECT_EQ(m_nbnegative(m), 2);
  EXPECT_EQ(m_nbzerosrow(m, 1), 2);
  EXPECT_EQ(m_nbnegativerow(m, 1), 0);
  EXPECT_EQ(m_nbpositiverow(m, 1), 1);
  EXPECT_EQ(m_nbzeroscol(m, 2), 1);
  EXPECT_EQ(m_nbnegativecol(m, 2), 0);
  EXPECT_EQ(m_nbnegativecol(m, 3), 1);
  EXPECT_EQ(m_nbpositivecol(m, 3), 0);
  EXPECT_EQ(m_nbnegativerow(m, 2), 2);
}

TEST(MatrixReductions, EqualityIsExact) {
  EXPECT_TRUE(m_isequal_scalar(matrix_of(1, 2, {0.0f, -0.0f}), 0.0f));
  EXPECT_FALSE(m_isequal_scalar(matrix_of(1, 2, {1.0f, 1.0f + 0x1.0p-23f}), 1.0f));
  EXPECT_FALSE(m_isequal_scalar(matrix_of(1, 1, {nan}), nan));
  const t_matrix a = matrix_of(2, 2, {1, 0.0f, -0.0f, 4});
  EXPECT_TRUE(m_isequal(a, matrix_of(2, 2, {1, -0.0f, 0.0f, 4})));
  EXPECT_FALSE(m_isequal(a, matrix_of(2, 2, {1, 0, 0, 4.0000005f})));
  const t_matrix with_nan = matrix_of(1, 2, {1, nan});
  EXPECT_FALSE(m_isequal(with_nan, with_nan));
}

TEST(MatrixReductions, Symmetry) {
  EXPECT_TRUE(m_issymmetric(matrix_of(1, 1, {5})));
  EXPECT_FALSE(m_issymmetric(matrix_of(1, 1, {nan})));
  EXPECT_TRUE(m_issymmetric(matrix_of(3, 3, {1, 2, 3, 2, 5, -0.0f, 3, 0.0f, 9})));
  EXPECT_FALSE(m_issymmetric(matrix_of(2, 2, {1, 2, 2.0000002f, 1})));
  // Rectangular: false, and the transpose still set the remembered sizes.
  EXPECT_FALSE(m_issymmetric(matrix_of(2, 3, {1, 2, 3, 4, 5, 6})));
  EXPECT_FALSE(m_issymmetric(matrix_of(3, 1, {1, 1, 1})));
  t_matrix z;
  m_init(z);
  EXPECT_EQ(z.rows, 1);
  EXPECT_EQ(z.cols, 3);
}

}  // namespace
}  // namespace orvik
