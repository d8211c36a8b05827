// Transpose, elementwise arithmetic and products, and what they leave in the
// remembered sizes.

#include "support/records.hpp"

#include <gtest/gtest.h>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <cmath>
#include <limits>
#include <vector>

namespace orvik {
namespace {

using test::bits_of;
using test::matrix_of;
using test::vector_of;

using test::remembered_matrix_shape;

using test::remembered_vector_size;

TEST(MatrixArithmetic, TransposeTwiceGivesBackTheMatrix) {
  const t_matrix m = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});
  const t_matrix t = m_trans(m);
  EXPECT_EQ(t.rows, 3);
  EXPECT_EQ(t.cols, 2);
  EXPECT_EQ(m_get_m(t), (std::vector<float>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(remembered_matrix_shape(), std::make_pair(3, 2));
  EXPECT_TRUE(m_isequal(m_trans(t), m));
}

TEST(MatrixArithmetic, ElementwiseRoundsEachElement) {
  const t_matrix a = matrix_of(1, 3, {1.0f, 1.0e8f, -0.0f});
  const t_matrix b = matrix_of(1, 3, {0x1.0p-24f, 1.0f, 0.0f});
  EXPECT_EQ(bits_of(m_add(a, b).elements), bits_of({1.0f, 1.0e8f, 0.0f}));
  EXPECT_EQ(bits_of(m_minus(a, b).elements), bits_of({1.0f - 0x1.0p-24f, 1.0e8f, -0.0f}));
  EXPECT_EQ(m_prod_scalar1(2.0f, a).elements, m_prod_scalar2(a, 2.0f).elements);
  EXPECT_EQ(m_prod_scalar2(a, 3.0f).elements, (std::vector<float>{3.0f, 3.0e8f, 0.0f}));
}

TEST(MatrixArithmetic, DivisionRefusesOnlyZeros) {
  const t_matrix m = matrix_of(1, 2, {1.0e-30f, -2.0f});
  const t_matrix tiny = m_div_scalar(m, 1.0e-38f);
  EXPECT_EQ(tiny.elements[0], 1.0e-30f / 1.0e-38f);
  EXPECT_TRUE(std::isinf(m_div_scalar(matrix_of(1, 1, {1.0e30f}), 1.0e-38f).elements[0]));
  const t_matrix nan = m_div_scalar(m, std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(std::isnan(nan.elements[0]) && std::isnan(nan.elements[1]));
}

TEST(MatrixArithmetic, ProductsOfTheSmallExample) {
  const t_matrix m = matrix_of(2, 2, {1, 2, 3, 4});
  const t_vector ones = vector_of({1, 1});
  EXPECT_EQ(m_prod_vec1(m, ones).elements, (std::vector<float>{3, 7}));
  EXPECT_EQ(m_prod_vec_c(m, ones).elements, (std::vector<float>{3, 7}));
  EXPECT_EQ(m_prod_vec2(ones, m).elements, (std::vector<float>{4, 6}));
  const t_vector three = m_prod_vec2(vector_of({1, 0}), matrix_of(2, 3, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(three.elements, (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(remembered_vector_size(), 3);
  m_prod_vec1(matrix_of(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}), ones);
  EXPECT_EQ(remembered_vector_size(), 4);
}

TEST(MatrixArithmetic, MatrixProductShapeAndRememberedSizes) {
  const t_matrix a = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});
  const t_matrix b = matrix_of(3, 4, {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1});
  const t_matrix c = m_prod_mat(a, b);
  EXPECT_EQ(c.rows, 2);
  EXPECT_EQ(c.cols, 4);
  EXPECT_EQ(m_getrow(c, 1), (std::vector<float>{1, 2, 3, 6}));
  EXPECT_EQ(m_getrow(c, 2), (std::vector<float>{4, 5, 6, 15}));
  EXPECT_EQ(remembered_matrix_shape(), std::make_pair(2, 4));
}

// The running sum is a float rounded at every step, in increasing k: the
// small term added after the large ones is lost, before them it is not.
TEST(MatrixArithmetic, ProductSumsInOrderWithAFloatAccumulator) {
  const t_matrix col = matrix_of(3, 1, {1, 1, 1});
  EXPECT_EQ(m_prod_mat(matrix_of(1, 3, {1.0e8f, -1.0e8f, 1.0f}), col).elements[0], 1.0f);
  EXPECT_EQ(m_prod_mat(matrix_of(1, 3, {1.0e8f, 1.0f, -1.0e8f}), col).elements[0], 0.0f);
}

}  // namespace
}  // namespace orvik
