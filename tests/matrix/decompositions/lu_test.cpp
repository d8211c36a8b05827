// LU factorization, separate and compact: known factors, the reordered
// rows, the remembered sizes it leaves, the plain Doolittle loop bit for bit
// and the residual ratio on random, graded and Hilbert matrices.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

namespace orvik {
namespace {

using test::element;
using test::expect_same_matrix;
using test::matrix_of;
using test::remembered_matrix_shape;

const float inf = std::numeric_limits<float>::infinity();

TEST(LuDecomposition, SquareWithoutPivoting) {
  const t_matrix a = matrix_of(2, 2, {4, 3, 6, 3});
  t_lu lu = m_decomplu(a);
  expect_same_matrix(lu.L, matrix_of(2, 2, {1, 0, 1.5f, 1}));
  expect_same_matrix(lu.U, matrix_of(2, 2, {4, 3, 0, -1.5f}));
  EXPECT_FALSE(lu.P.allocated);
  EXPECT_EQ(lu.nb_permut, 0);
  const t_m_and_p compact = m_decomplu_m(a);
  expect_same_matrix(compact.M, matrix_of(2, 2, {4, 3, 1.5f, -1.5f}));
  EXPECT_FALSE(compact.P.allocated);
  m_destruct_lu(lu);
  EXPECT_FALSE(lu.L.allocated || lu.U.allocated || lu.P.allocated);
  expect_same_matrix(a, matrix_of(2, 2, {4, 3, 6, 3}));
}

TEST(LuDecomposition, WithPivoting) {
  const t_lu lu = m_decomplu(matrix_of(2, 2, {2, 1, 4, 1}), true);
  expect_same_matrix(lu.P, matrix_of(2, 2, {0, 1, 1, 0}));
  EXPECT_EQ(lu.nb_permut, 1);
  expect_same_matrix(lu.L, matrix_of(2, 2, {1, 0, 0.5f, 1}));
  expect_same_matrix(lu.U, matrix_of(2, 2, {4, 1, 0, 0.5f}));
  const t_m_and_p compact = m_decomplu_m(matrix_of(2, 2, {2, 1, 4, 1}), true);
  expect_same_matrix(compact.M, matrix_of(2, 2, {4, 1, 0.5f, 0.5f}));
  expect_same_matrix(compact.P, lu.P);
  EXPECT_EQ(compact.nb_permut, 1);
}

TEST(LuDecomposition, ZeroPivotFollowsIeee) {
  const t_lu lu = m_decomplu(matrix_of(2, 2, {0, 1, 1, 0}));
  EXPECT_EQ(element(lu.L, 2, 1), inf);
  EXPECT_EQ(element(lu.U, 2, 2), -inf);
  const t_m_and_p compact = m_decomplu_m(matrix_of(2, 2, {0, 1, 1, 0}));
  EXPECT_EQ(element(compact.M, 2, 1), inf);
  EXPECT_EQ(element(compact.M, 2, 2), -inf);
  const t_lu one = m_decomplu(matrix_of(1, 1, {0}));
  expect_same_matrix(one.L, matrix_of(1, 1, {1}));
  expect_same_matrix(one.U, matrix_of(1, 1, {0}));
}

TEST(LuDecomposition, RectangularShapesAndRememberedSizes) {
  const t_lu wide = m_decomplu(matrix_of(2, 3, {1, 2, 3, 4, 5, 6}));
  expect_same_matrix(wide.L, matrix_of(2, 2, {1, 0, 4, 1}));
  expect_same_matrix(wide.U, matrix_of(2, 3, {1, 2, 3, 0, -3, -6}));
  EXPECT_EQ(remembered_matrix_shape(), std::make_pair(2, 3));
  const t_lu tall = m_decomplu(matrix_of(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}));
  expect_same_matrix(tall.L, matrix_of(4, 2, {1, 0, 3, 1, 5, 2, 7, 3}));
  expect_same_matrix(tall.U, matrix_of(2, 2, {1, 2, 0, -2}));
  // U is created after L, so its shape is the one remembered.
  EXPECT_EQ(remembered_matrix_shape(), std::make_pair(2, 2));
  const t_m_and_p compact = m_decomplu_m(matrix_of(3, 2, {1, 2, 3, 4, 5, 6}));
  expect_same_matrix(compact.M, matrix_of(3, 2, {1, 2, 3, -2, 5, 2}));
}

TEST(LuDecomposition, SeparateAndCompactFormsHoldTheSameBits) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    for (bool permute : {false, true}) {
      const std::int32_t r = 2 + static_cast<std::int32_t>(seed % 4);
      const std::int32_t c = 2 + static_cast<std::int32_t>((seed * 7) % 5);
      const t_matrix a = test::random_matrix(r, c, seed);
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

// Doolittle, row by row: the compact factors.
std::vector<float> doolittle(const t_matrix& a) {
  const std::int32_t r = a.rows;
  const std::int32_t c = a.cols;
  std::vector<float> m = a.elements;
  auto at = [&](std::int32_t i, std::int32_t j) -> float& { return m[(j - 1) * r + (i - 1)]; };
  for (std::int32_t i = 1; i <= r; ++i)
    for (std::int32_t j = 1; j <= c; ++j) {
      float s = at(i, j);
      for (std::int32_t k = 1; k < std::min(i, j); ++k) s = std::fma(-at(i, k), at(k, j), s);
      if (j < i) s = s / at(j, j);
      at(i, j) = s;
    }
  return m;
}

TEST(LuDecomposition, CompactFactorsAreThePlainLoopBitForBit) {
  for (unsigned seed = 1; seed <= 8; ++seed) {
    const std::int32_t n = 2 + static_cast<std::int32_t>(seed % 6);
    const t_matrix a = test::random_matrix(n, n + static_cast<std::int32_t>(seed % 3) - 1, seed);
    EXPECT_EQ(test::bits_of(m_decomplu_m(a).M.elements), test::bits_of(doolittle(a))) << seed;
  }
}

TEST(LuDecomposition, FactorsReproduceTheReorderedMatrix) {
  const std::int32_t shapes[][2] = {{1, 1}, {2, 2}, {3, 3}, {5, 5}, {8, 8}, {12, 12}, {4, 7}, {7, 4}};
  unsigned seed = 1;
  for (const auto& shape : shapes) {
    for (bool permute : {false, true}) {
      const std::int32_t r = shape[0];
      const std::int32_t c = shape[1];
      // Dominant rows keep elimination without a pivot search tame.
      t_matrix a = r == c ? test::dominant_matrix(r, seed) : test::random_matrix(r, c, seed, 1.0f, 2.0f);
      if (r != c)
        for (std::int32_t i = 1; i <= std::min(r, c); ++i) a.elements[(i - 1) * r + (i - 1)] += 4.0f * c;
      ++seed;
      const t_lu lu = m_decomplu(a, permute);
      const double ratio = test::lu_residual_ratio(a, lu);
      EXPECT_LE(ratio, test::residual_threshold) << r << "x" << c << " permute " << permute;
      // Exact zeros outside the triangles and a unit diagonal.
      for (std::int32_t i = 1; i <= lu.L.rows; ++i)
        for (std::int32_t j = i; j <= lu.L.cols; ++j) EXPECT_EQ(element(lu.L, i, j), i == j ? 1.0f : 0.0f);
      for (std::int32_t i = 2; i <= lu.U.rows; ++i)
        for (std::int32_t j = 1; j < i; ++j) EXPECT_EQ(element(lu.U, i, j), 0.0f);
    }
  }
  // Ill-conditioned and badly scaled inputs: the ratio measures the backward
  // error, which stays small whatever the condition.
  for (bool permute : {false, true}) {
    for (const t_matrix& a : {test::hilbert_matrix(6), test::graded_matrix(6, 6, 7), test::graded_matrix(5, 8, 8)}) {
      const double ratio = test::lu_residual_ratio(a, m_decomplu(a, permute));
      EXPECT_LE(ratio, test::residual_threshold) << a.rows << "x" << a.cols << " permute " << permute;
    }
  }
}

TEST(LuDecomposition, Stops) {
  const t_matrix fresh{};
  test::expect_stops({
      {"lu fresh", [&] { m_decomplu(fresh); }, 2001, "m_decompLU::matrix not allocated"},
      {"lu_m fresh", [&] { m_decomplu_m(fresh, true); }, 2001, "m_decompLU_m::matrix not allocated"},
  });
}

}  // namespace
}  // namespace orvik
