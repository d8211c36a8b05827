// The rank front end: both methods on matrices of known rank, the strict
// singular value threshold, and every stop.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <optional>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::matrix_of;

TEST(MatrixRank, BothMethodsOnMatricesOfKnownRank) {
  struct known {
    t_matrix a;
    std::int32_t rank;
  };
  const std::vector<known> cases = {
      {matrix_of(4, 4, {1, 2, 0, 4, 2, 4, 0, 8, 0, 0, 3, 0, 1, 2, 3, 4}), 2},
      {matrix_of(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}), 3},
      {matrix_of(3, 5, {1, 2, 3, 4, 5, 2, 4, 6, 8, 10, -1, -2, -3, -4, -5}), 1},
      {matrix_of(5, 3, {1, 0, 1, 0, 1, 1, 1, 1, 2, 2, 0, 2, 0, 4, 4}), 2},
      {test::random_matrix(6, 4, 9), 4},
      {test::random_matrix(3, 7, 10), 3},
  };
  for (const known& c : cases) {
    SCOPED_TRACE(std::to_string(c.a.rows) + "x" + std::to_string(c.a.cols));
    EXPECT_EQ(m_rank(c.a), c.rank);
    // Rounding noise of zero singular values lies far below 1e-4.
    EXPECT_EQ(m_rank(c.a, 1e-4f, "svd", 1e-6f, std::nullopt, "gsro"), c.rank);
    EXPECT_EQ(m_rank(c.a, 1e-4f, "svd", 1e-3f, std::nullopt, "ho"), c.rank);
    // An unknown method text ignores every other argument.
    EXPECT_EQ(m_rank(c.a, 1e30f, "SVD", -1.0f, -5), m_rank_gaussj(c.a));
  }
  // Larger entries: the singular values tell the rank, where the rounding
  // noise of elimination passes Gauss-Jordan's absolute test.
  for (const known& c :
       {known{test::known_rank_matrix(6, 5, 3, 11), 3}, known{test::known_rank_matrix(4, 7, 2, 12), 2}}) {
    SCOPED_TRACE(std::to_string(c.a.rows) + "x" + std::to_string(c.a.cols));
    EXPECT_EQ(m_rank(c.a, 1e-3f * m_norm(c.a, 1), "svd", 1e-6f, std::nullopt, "gsro"), c.rank);
    EXPECT_EQ(m_rank(c.a, 1e-3f * m_norm(c.a, 1), "svd", 1e-3f, std::nullopt, "ho"), c.rank);
  }
}

TEST(MatrixRank, SvdThresholdIsStrict) {
  const t_matrix a = matrix_of(2, 2, {3, 0, 0, 2});
  EXPECT_EQ(m_rank_svd(a, 2.0f), 1);
  EXPECT_EQ(m_rank_svd(a, 1.9f), 2);
  // Householder keeps the tiny entry; plain Gram-Schmidt would drop it as
  // past the rank of the elimination.
  EXPECT_EQ(m_rank_svd(matrix_of(2, 2, {1, 0, 0, 2e-8f}), std::nullopt, std::nullopt, std::nullopt, "ho"), 2);
  EXPECT_EQ(m_rank_svd(matrix_of(2, 2, {1, 0, 0, 1e-8f}), std::nullopt, std::nullopt, std::nullopt, "ho"), 1);
  EXPECT_EQ(m_rank_svd(matrix_of(2, 2, {1, 0, 0, 2e-8f})), 1);
}

TEST(MatrixRank, Stops) {
  const t_matrix fresh{};
  const t_matrix m22 = matrix_of(2, 2, {1, 2, 3, 4});
  test::expect_stops({
      {"rank_svd fresh", [&] { m_rank(fresh, std::nullopt, "svd"); }, 2001, "m_decompsvd_s::matrix not allocated"},
      {"rank_svd diverges", [&] { m_rank_svd(m22, std::nullopt, std::nullopt, 0); }, 301,
       "m_decompsvd_s::svd method diverge"},
  });
}

}  // namespace
}  // namespace orvik
