#pragma once
// Helpers shared by the files of the matrix module.

#include <orvik/exception.hpp>
#include <orvik/matrix.hpp>

#include "common/storage.hpp"
#include "exception/fail.hpp"

#include <cstdint>
#include <string_view>

namespace orvik::detail {

// Reports through m_what_exception.
[[noreturn]] inline void m_fail(std::string_view message, std::int32_t number) {
  fail(m_what_exception, message, number);
}

// The "matrix not allocated" family of checks, error 2001.
inline void m_require_allocated(const t_matrix& m, std::string_view message) {
  if (!m.allocated) m_fail(message, 2001);
}

// Sets the shape and gives `m` rows x cols zeros, or stops with `message`
// (error 2001) when the storage cannot be had.
inline void create_storage(t_matrix& m, std::int32_t rows, std::int32_t cols, std::string_view message) {
  m.rows = rows;
  m.cols = cols;
  if (!allocate_elements(m.elements, static_cast<std::int64_t>(rows) * cols)) m_fail(message, 2001);
  m.allocated = true;
}

// Element (i, j), 1-based, without checks.
inline float& at(t_matrix& m, std::int32_t i, std::int32_t j) {
  return m
      .elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m.rows) + static_cast<std::size_t>(i - 1)];
}
inline float at(const t_matrix& m, std::int32_t i, std::int32_t j) {
  return m
      .elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m.rows) + static_cast<std::size_t>(i - 1)];
}

}  // namespace orvik::detail
