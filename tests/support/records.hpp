#pragma once
// Builders for test inputs and probes of the remembered sizes. The builders
// fill records directly, so the remembered sizes of m_init and v_init stay
// where the code under test left them.

#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace orvik::test {

// A rows x cols matrix from values given row by row, as one reads them.
inline t_matrix matrix_of(std::int32_t rows, std::int32_t cols, std::initializer_list<float> by_rows) {
  t_matrix m;
  m.rows = rows;
  m.cols = cols;
  m.elements.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), 0.0f);
  m.allocated = true;
  auto value = by_rows.begin();
  for (std::int32_t i = 0; i < rows; ++i) {
    for (std::int32_t j = 0; j < cols; ++j) m.elements[static_cast<std::size_t>(j) * rows + i] = *value++;
  }
  return m;
}

// A rows x cols matrix of zeros.
inline t_matrix zero_matrix(std::int32_t rows, std::int32_t cols) {
  t_matrix m;
  m.rows = rows;
  m.cols = cols;
  m.elements.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), 0.0f);
  m.allocated = true;
  return m;
}

inline t_vector vector_of(std::vector<float> values) {
  t_vector v;
  v.size = static_cast<std::int32_t>(values.size());
  v.elements = std::move(values);
  v.allocated = true;
  return v;
}

inline t_vector vector_of(std::initializer_list<float> values) { return vector_of(std::vector<float>(values)); }

// Element (i, j), 1-based, without the library's checks.
inline float element(const t_matrix& m, std::int32_t i, std::int32_t j) {
  return m
      .elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m.rows) + static_cast<std::size_t>(i - 1)];
}

// Bit patterns, so that -0.0 and NaN payloads compare exactly.
inline std::vector<std::uint32_t> bits_of(const std::vector<float>& values) {
  std::vector<std::uint32_t> out;
  out.reserve(values.size());
  for (const float x : values) out.push_back(std::bit_cast<std::uint32_t>(x));
  return out;
}

// The shape m_init falls back on when no size is given.
inline std::pair<std::int32_t, std::int32_t> remembered_matrix_shape() {
  t_matrix probe;
  m_init(probe);
  return {probe.rows, probe.cols};
}

// The size v_init falls back on when no size is given.
inline std::int32_t remembered_vector_size() {
  t_vector probe;
  v_init(probe);
  return probe.size;
}

}  // namespace orvik::test
