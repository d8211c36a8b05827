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

// The remembered defaults, for the routines that work in place on their own
// buffers: they leave the values that the temporaries the operations are
// written with would have left (m_init with both sizes; m_extract with all
// four bounds). No check is made.
void m_remember_init_sizes(std::int32_t rows, std::int32_t cols) noexcept;
void m_remember_extract_bounds(std::int32_t row_first, std::int32_t row_last, std::int32_t col_first,
                               std::int32_t col_last) noexcept;

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
