#pragma once
// Seeded test matrices and value arrays. Each uses a generator of the test's
// own, so the library's random sequence is left alone, and fills records
// directly, so the remembered sizes stay where the code under test left them.

#include <orvik/matrix.hpp>

#include "support/records.hpp"

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace orvik::test {

// Entries uniform in [low, high).
inline t_matrix random_matrix(std::int32_t rows, std::int32_t cols, unsigned seed, float low = -1.0f,
                              float high = 1.0f) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(low, high);
  t_matrix m = zero_matrix(rows, cols);
  for (float& x : m.elements) x = dist(gen);
  return m;
}

// Values uniform in [-10, 10), for the raw kernels.
inline std::vector<float> random_values(std::mt19937& gen, std::size_t count) {
  std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
  std::vector<float> out(count);
  for (float& x : out) x = dist(gen);
  return out;
}

// Values spread over many binades and both signs, so that the order of
// rounding shows in the last bits.
inline std::vector<float> spread_values(std::mt19937& gen, std::size_t count) {
  std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-12, 12);
  std::vector<float> out(count);
  for (float& x : out) x = std::ldexp(mantissa(gen), exponent(gen));
  return out;
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

// Symmetric positive definite: G^T G + n I for a random G, formed in double
// and rounded once, so the result is exactly symmetric.
inline t_matrix spd_matrix(std::int32_t n, unsigned seed) {
  const t_matrix g = random_matrix(n, n, seed);
  t_matrix m = zero_matrix(n, n);
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

// rows x cols of rank `rank`: the product of two small-integer factors, exact
// in float, so no rounding lifts the rank.
inline t_matrix known_rank_matrix(std::int32_t rows, std::int32_t cols, std::int32_t rank, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> dist(-3, 3);
  std::vector<int> x(static_cast<std::size_t>(rows) * static_cast<std::size_t>(rank));
  std::vector<int> y(static_cast<std::size_t>(rank) * static_cast<std::size_t>(cols));
  for (int& v : x) v = dist(gen);
  for (int& v : y) v = dist(gen);
  t_matrix m = zero_matrix(rows, cols);
  for (std::int32_t i = 0; i < rows; ++i)
    for (std::int32_t j = 0; j < cols; ++j) {
      int s = 0;
      for (std::int32_t k = 0; k < rank; ++k)
        s += x[static_cast<std::size_t>(i) * static_cast<std::size_t>(rank) + static_cast<std::size_t>(k)] *
             y[static_cast<std::size_t>(k) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(j)];
      m.elements[static_cast<std::size_t>(j) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i)] =
          static_cast<float>(s);
    }
  return m;
}

// The Hilbert matrix 1 / (i + j - 1): positive definite and ill-conditioned.
inline t_matrix hilbert_matrix(std::int32_t n) {
  t_matrix m = zero_matrix(n, n);
  for (std::int32_t i = 1; i <= n; ++i)
    for (std::int32_t j = 1; j <= n; ++j)
      m.elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i - 1)] =
          static_cast<float>(1.0 / (i + j - 1));
  return m;
}

// Random rows scaled by ratio^(i-1): row norms spread over many orders of
// magnitude.
inline t_matrix graded_matrix(std::int32_t rows, std::int32_t cols, unsigned seed, float ratio = 0.1f) {
  t_matrix m = random_matrix(rows, cols, seed);
  for (std::int32_t i = 1; i <= rows; ++i) {
    const float scale = std::pow(ratio, static_cast<float>(i - 1));
    for (std::int32_t j = 1; j <= cols; ++j)
      m.elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i - 1)] *=
          scale;
  }
  return m;
}

}  // namespace orvik::test
