// Matrix norms, condition number and trace: the selectors, float running
// sums, the spectral norm against LAPACK, and every stop.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace orvik {
namespace {

using test::matrix_of;

const t_matrix fresh{};
const t_matrix m23 = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});

const float eps = std::ldexp(1.0f, -24);

TEST(MatrixNorms, SelectorsOnASmallMatrix) {
  const t_matrix a = matrix_of(2, 2, {1, -2, 3, 4});
  EXPECT_EQ(m_norm(a, 1), 6.0f);
  EXPECT_EQ(m_norm(a, 0), 7.0f);
  EXPECT_EQ(m_norm(a, -1), std::sqrt(30.0f));
  const float spectral = m_norm(a, 2);
  EXPECT_NEAR(spectral, 5.116673f, 2e-6f);
  EXPECT_EQ(m_norm(a), spectral);
  EXPECT_EQ(m_norm(a, 7), spectral);
  EXPECT_EQ(m_norm(a, -2), spectral);
  for (float v : {-3.0f, 0.5f}) {
    const t_matrix one = matrix_of(1, 1, {v});
    for (std::int32_t p : {1, 0, -1, 2}) EXPECT_EQ(m_norm(one, p), std::fabs(v)) << p;
  }
  for (std::int32_t p : {1, 0, -1, 2}) EXPECT_EQ(m_norm(test::zero_matrix(2, 3), p), 0.0f) << p;
}

TEST(MatrixNorms, RectangularAndRounding) {
  const t_matrix a = matrix_of(2, 3, {1, 2, 3, -4, 5, -6});
  EXPECT_EQ(m_norm(a, 1), 9.0f);
  EXPECT_EQ(m_norm(a, 0), 15.0f);
  EXPECT_EQ(m_norm(a, -1), std::sqrt(91.0f));
  // Each 2^-24 is lost in the float running sum, so the column sum stays 1
  // (a wide sum would round to the float after 1).
  EXPECT_EQ(m_norm(matrix_of(3, 1, {1, eps, eps}), 1), 1.0f);
  EXPECT_EQ(m_norm(matrix_of(1, 3, {1, eps, eps}), 0), 1.0f);
  // Scaled below norm 1, a one-ulp wobble of A*x is within tol = eps.
  const t_matrix small = matrix_of(2, 3, {0.1f, 0.2f, 0.3f, -0.4f, 0.5f, -0.6f});
  EXPECT_NEAR(m_norm(small, 2), 0.8899905f, 1e-6f);
}

TEST(MatrixNorms, ConditionNumberAndTrace) {
  EXPECT_EQ(m_cond(m_identity(3)), 1.0f);
  EXPECT_EQ(m_cond(matrix_of(2, 2, {2, 0, 0, 0.5f})), 4.0f);
  EXPECT_EQ(m_trace(matrix_of(2, 2, {1, 2, 3, 4})), 5.0f);
  // The diagonal is summed wide and rounded once.
  EXPECT_EQ(m_trace(matrix_of(3, 3, {1e8f, 0, 0, 0, 1, 0, 0, 0, -1e8f})), 1.0f);
  t_vector probe;
  v_init(probe);
  EXPECT_EQ(probe.size, 3);
}

TEST(MatrixNorms, SpectralNormAgainstLapack) {
#if ORVIK_HAVE_LAPACK
  const std::int32_t shapes[][2] = {{1, 1}, {2, 2}, {3, 5}, {5, 3}, {6, 6}, {9, 4}};
  unsigned seed = 120;
  for (const auto& shape : shapes) {
    const int m = shape[0];
    const int n = shape[1];
    // Norm below 1: the residual tolerance is absolute (eps), and above 1 a
    // one-ulp wobble of A^T*A*x may never meet it (see the 301 case).
    t_matrix a = test::random_matrix(m, n, seed++);
    for (float& v : a.elements) v = v / static_cast<float>(std::max(m, n));
    const double largest = test::reference_singular_values(a)[0];
    const double ratio = test::agreement_ratio(m_norm(a, 2), largest, largest, std::max(m, n));
    EXPECT_LE(ratio, test::agreement_threshold) << m << "x" << n;
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(MatrixNorms, Stops) {
  test::expect_stops({
      {"norm fresh", [] { m_norm(fresh, 1); }, 2001, "m_norm::matrix not allocated"},
      {"norm fresh, default", [] { m_norm(fresh); }, 2001, "m_norm::matrix not allocated"},
      {"cond fresh", [] { m_cond(fresh); }, 2001, "m_cond::matrix not allocated"},
      {"cond rectangular", [] { m_cond(m23); }, 202, "m_inverse_gaussj::square matrix expected"},
      {"cond singular, not finite",
       [] {
         m_cond(matrix_of(2, 2, {0, 0, 0, INFINITY}));
       },
       300, "m_inverse_gaussj::matrix is close to singular or badly scaled"},
      {"trace fresh", [] { m_trace(fresh); }, 2001, "m_trace::matrix not allocated"},
      {"trace rectangular", [] { m_trace(m23); }, 202, "m_trace::square matrix expected"},
  });
}

}  // namespace
}  // namespace orvik
