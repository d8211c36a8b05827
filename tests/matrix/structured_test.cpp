// Diagonals, triangles, bands and the generators, with their effect on the
// remembered sizes and on the random sequence.

#include "maths/random_source.hpp"
#include "support/records.hpp"

#include <gtest/gtest.h>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <utility>
#include <vector>

namespace orvik {
namespace {

using test::matrix_of;

using test::remembered_matrix_shape;

// 3 x 5, element (i, j) = 10 i + j.
t_matrix numbered35() { return matrix_of(3, 5, {11, 12, 13, 14, 15, 21, 22, 23, 24, 25, 31, 32, 33, 34, 35}); }

TEST(MatrixStructured, Diagonals) {
  const t_matrix m = numbered35();
  EXPECT_EQ(m_diag(m).elements, (std::vector<float>{11, 22, 33}));
  EXPECT_EQ(m_diag(m, 2).elements, (std::vector<float>{13, 24, 35}));
  EXPECT_EQ(m_diag(m, 4).elements, (std::vector<float>{15}));
  EXPECT_EQ(m_diag(m, -2).elements, (std::vector<float>{31}));
  EXPECT_EQ(m_diag(m, -1).elements, (std::vector<float>{21, 32}));
  // k is not remembered; the vector size of v_init is.
  EXPECT_EQ(m_diag(m).elements.size(), 3U);
  m_diag(m, 3);
  t_vector v;
  v_init(v);
  EXPECT_EQ(v.size, 2);
}

TEST(MatrixStructured, TrianglesAndBands) {
  const t_matrix m = matrix_of(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ(m_triu(m, 1).elements, m_get_m(matrix_of(3, 3, {0, 2, 3, 0, 0, 6, 0, 0, 0})));
  EXPECT_EQ(m_triu(m).elements, m_get_m(matrix_of(3, 3, {1, 2, 3, 0, 5, 6, 0, 0, 9})));
  EXPECT_EQ(m_tril(m, -1).elements, m_get_m(matrix_of(3, 3, {0, 0, 0, 4, 0, 0, 7, 8, 0})));
  EXPECT_EQ(m_tril(m, 10).elements, m.elements);
  EXPECT_EQ(m_triu(m, 3).elements, std::vector<float>(9, 0.0f));
  EXPECT_EQ(m_triu(m, -2147483647 - 1).elements, m.elements);
  EXPECT_EQ(m_tril(m, 2147483647).elements, m.elements);
  const t_matrix r = matrix_of(2, 4, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(m_bidiag_up(r).elements, m_get_m(matrix_of(2, 4, {1, 2, 0, 0, 0, 6, 7, 0})));
  EXPECT_EQ(m_bidiag_low(r).elements, m_get_m(matrix_of(2, 4, {1, 0, 0, 0, 5, 6, 0, 0})));
  m_triu(matrix_of(4, 6, std::initializer_list<float>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                                      13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}));
  EXPECT_EQ(remembered_matrix_shape(), std::make_pair(4, 6));
}

TEST(MatrixStructured, GeneratorsLeaveTheRememberedSizesAlone) {
  m_trans(matrix_of(1, 3, {1, 2, 3}));
  const t_matrix id = m_identity(3);
  EXPECT_EQ(id.elements, (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(m_identity(1).elements, (std::vector<float>{1}));
  const std::vector<float> d = {1, 2, 3};
  EXPECT_EQ(mc_diag(d).elements, (std::vector<float>{1, 0, 0, 0, 2, 0, 0, 0, 3}));
  const t_matrix low = mc_bidiag_low(2, 5, 3);
  EXPECT_EQ(low.elements, m_get_m(matrix_of(3, 3, {2, 5, 0, 0, 2, 5, 0, 0, 2})));
  const t_matrix up = mc_bidiag_up(2, 5, 3);
  EXPECT_EQ(up.elements, m_get_m(matrix_of(3, 3, {2, 0, 0, 5, 2, 0, 0, 5, 2})));
  const t_matrix tri = mc_tridiag(4, -1, 2, 3);
  EXPECT_EQ(tri.elements, m_get_m(matrix_of(3, 3, {4, 2, 0, -1, 4, 2, 0, -1, 4})));
  EXPECT_EQ(mc_tridiag(4, -1, 2, 2).elements, m_get_m(matrix_of(2, 2, {4, 2, -1, 4})));
  t_matrix dd;
  mc_diagdominant(dd, 2, 0.0f, 1.0f);
  EXPECT_EQ(remembered_matrix_shape(), std::make_pair(3, 1));
}

// The draws continue the sequence with flag 0, row by row, as r * (high -
// low) + low; the diagonal is then the row sum plus 1, held wide.
TEST(MatrixStructured, DiagonallyDominantDrawsRowByRow) {
  const std::int32_t n = 3;
  const float low = -0.5f, high = 2.0f;
  detail::random_uniform(99);
  std::vector<float> drawn;
  drawn.reserve(n * n);
  for (int t = 0; t < n * n; ++t) drawn.push_back(detail::random_uniform(0) * (high - low) + low);
  detail::random_uniform(99);
  t_matrix m = m_identity(5);
  mc_diagdominant(m, n, low, high);
  ASSERT_TRUE(m.allocated);
  ASSERT_EQ(m.rows, n);
  ASSERT_EQ(m.cols, n);
  for (std::int32_t i = 1; i <= n; ++i) {
    long double s = 1.0L;
    for (std::int32_t j = 1; j <= n; ++j) {
      const float x = drawn[static_cast<std::size_t>(i - 1) * n + (j - 1)];
      s += x;
      if (j != i) {
        EXPECT_EQ(m_get(m, i, j), x) << i << "," << j;
      }
    }
    EXPECT_EQ(m_get(m, i, i), static_cast<float>(s)) << i;
  }
  // Exactly n * n draws: the next value is the one after them.
  detail::random_uniform(99);
  for (int t = 0; t < n * n; ++t) detail::random_uniform(0);
  const float expected_next = detail::random_uniform(0);
  detail::random_uniform(99);
  mc_diagdominant(m, n, low, high);
  EXPECT_EQ(detail::random_uniform(0), expected_next);
}

TEST(MatrixStructured, DiagonallyDominantSymmetricDrawsTheUpperTriangle) {
  const std::int32_t n = 4;
  detail::random_uniform(7);
  std::vector<float> drawn;
  drawn.reserve(n * (n - 1) / 2);
  for (int t = 0; t < n * (n - 1) / 2; ++t) drawn.push_back(detail::random_uniform(0) * (1.0f - 0.0f) + 0.0f);
  detail::random_uniform(7);
  t_matrix m;
  mc_diagdominantsymmetric(m, n, 0.0f, 1.0f);
  EXPECT_TRUE(m_issymmetric(m));
  std::size_t t = 0;
  for (std::int32_t i = 1; i <= n; ++i) {
    for (std::int32_t j = i + 1; j <= n; ++j) EXPECT_EQ(m_get(m, i, j), drawn[t++]);
  }
  for (std::int32_t i = 1; i <= n; ++i) {
    // The diagonal held 0.0 when its row was summed.
    long double s = 1.0L;
    for (std::int32_t j = 1; j <= n; ++j) {
      if (j != i) s += m_get(m, i, j);
    }
    EXPECT_EQ(m_get(m, i, i), static_cast<float>(s));
  }
  t_matrix one;
  mc_diagdominantsymmetric(one, 1, 0.0f, 1.0f);
  EXPECT_EQ(one.elements, (std::vector<float>{1.0f}));
}

}  // namespace
}  // namespace orvik
