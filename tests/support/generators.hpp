#pragma once
// Small builders for the factorization tests. They fill records directly, so
// the remembered sizes of m_init and v_init stay where the code under test
// left them.

#include <orvik/orvik.hpp>

#include "support/records.hpp"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

namespace orvik::f1 {

using test::element;
using test::random_matrix;
using test::vector_of;

// A matrix from its rows.
inline t_matrix rows_of(std::initializer_list<std::initializer_list<float>> rows) {
  t_matrix m;
  m.rows = static_cast<std::int32_t>(rows.size());
  m.cols = static_cast<std::int32_t>(rows.begin()->size());
  m.elements.assign(static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols), 0.0f);
  std::int32_t i = 0;
  for (const auto& row : rows) {
    std::int32_t j = 0;
    for (float v : row) m.elements[static_cast<std::size_t>(j++) * static_cast<std::size_t>(m.rows) + i] = v;
    ++i;
  }
  m.allocated = true;
  return m;
}

inline t_matrix filled(std::int32_t rows, std::int32_t cols) {
  t_matrix m;
  m.rows = rows;
  m.cols = cols;
  m.elements.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), 0.0f);
  m.allocated = true;
  return m;
}

// Random with each diagonal entry raised above the sum of the other
// magnitudes of its row, so elimination without pivoting stays tame.
inline t_matrix dominant_matrix(std::int32_t n, unsigned seed) {
  t_matrix m = random_matrix(n, n, seed);
  for (std::int32_t i = 1; i <= n; ++i) {
    float s = 1.0f;
    for (std::int32_t j = 1; j <= n; ++j) s += std::fabs(element(m, i, j));
    m.elements[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i - 1)] = s;
  }
  return m;
}

// G^T G + n I, formed in double and rounded once.
inline t_matrix spd_matrix(std::int32_t n, unsigned seed) {
  const t_matrix g = random_matrix(n, n, seed);
  t_matrix m = filled(n, n);
  for (std::int32_t i = 1; i <= n; ++i) {
    for (std::int32_t j = 1; j <= n; ++j) {
      double s = i == j ? n : 0.0;
      for (std::int32_t k = 1; k <= n; ++k) s += static_cast<double>(element(g, k, i)) * element(g, k, j);
      m.elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i - 1)] =
          static_cast<float>(s);
    }
  }
  return m;
}

// Largest |a(i,j)|.
inline double max_abs(const t_matrix& a) {
  double r = 0.0;
  for (float v : a.elements) r = std::fmax(r, std::fabs(static_cast<double>(v)));
  return r;
}

// The product a*b in double (as an oracle, not the library's rounding).
inline std::vector<double> product_double(const t_matrix& a, const t_matrix& b) {
  std::vector<double> r(static_cast<std::size_t>(a.rows) * static_cast<std::size_t>(b.cols), 0.0);
  for (std::int32_t j = 1; j <= b.cols; ++j)
    for (std::int32_t i = 1; i <= a.rows; ++i) {
      double s = 0.0;
      for (std::int32_t k = 1; k <= a.cols; ++k) s += static_cast<double>(element(a, i, k)) * element(b, k, j);
      r[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(a.rows) + static_cast<std::size_t>(i - 1)] = s;
    }
  return r;
}

inline std::vector<float> elements_of(const t_matrix& m) { return m.elements; }

}  // namespace orvik::f1
