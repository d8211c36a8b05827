#pragma once
// Builders and checks shared by the QR, SVD, eigenvalue and front-end tests.

#include <orvik/orvik.hpp>

#include "support/records.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>

namespace orvik::f2 {

using test::element;
using test::matrix_of;
using test::random_matrix;
using test::vector_of;

// A symmetric positive definite matrix: M^T M + n I.
inline t_matrix random_spd(std::int32_t n, unsigned seed) {
  const t_matrix m = random_matrix(n, n, seed);
  const t_matrix mt = m_trans(m);
  t_matrix s = m_prod_mat(mt, m);
  for (std::int32_t i = 0; i < n; ++i) s.elements[static_cast<std::size_t>(i * n + i)] += static_cast<float>(n);
  return s;
}

inline float max_abs_diff(const t_matrix& a, const t_matrix& b) {
  EXPECT_EQ(a.rows, b.rows);
  EXPECT_EQ(a.cols, b.cols);
  float worst = 0.0f;
  if (a.elements.size() != b.elements.size()) return INFINITY;
  for (std::size_t i = 0; i < a.elements.size(); ++i)
    worst = std::fmax(worst, std::fabs(a.elements[i] - b.elements[i]));
  return worst;
}

#define F2_EXPECT_NEAR_MATRIX(a, b, tol) EXPECT_LE(::orvik::f2::max_abs_diff((a), (b)), (tol))

inline t_matrix gram(const t_matrix& q) { return m_prod_mat(m_trans(q), q); }

}  // namespace orvik::f2
