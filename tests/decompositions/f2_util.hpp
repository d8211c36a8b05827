#pragma once
// Builders and checks shared by the QR, SVD, eigenvalue and front-end tests.

#include <orvik/orvik.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>

namespace orvik::f2 {

// A rows x cols matrix from values given row by row.
inline t_matrix mat(std::int32_t rows, std::int32_t cols, std::initializer_list<float> by_rows) {
  t_matrix m;
  m.rows = rows;
  m.cols = cols;
  m.elements.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), 0.0f);
  m.allocated = true;
  auto value = by_rows.begin();
  for (std::int32_t i = 0; i < rows; ++i) {
    for (std::int32_t j = 0; j < cols; ++j) {
      m.elements[static_cast<std::size_t>(j) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i)] = *value++;
    }
  }
  return m;
}

inline t_vector vec(std::initializer_list<float> values) {
  t_vector v;
  v.size = static_cast<std::int32_t>(values.size());
  v.elements.assign(values);
  v.allocated = true;
  return v;
}

inline float el(const t_matrix& m, std::int32_t i, std::int32_t j) {
  return m
      .elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m.rows) + static_cast<std::size_t>(i - 1)];
}

// Entries uniform in [-1, 1) from a seeded generator of the test's own, so the
// library's random sequence is left alone.
inline t_matrix random_matrix(std::int32_t rows, std::int32_t cols, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  t_matrix m;
  m.rows = rows;
  m.cols = cols;
  m.elements.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
  for (float& x : m.elements) x = dist(gen);
  m.allocated = true;
  return m;
}

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
