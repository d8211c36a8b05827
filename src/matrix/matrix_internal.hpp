#pragma once
// Helpers shared by the files of the matrix module.

#include <orvik/exception.hpp>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include "common/storage.hpp"
#include "exception/fail.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

namespace orvik::detail {

// Reports through m_what_exception.
[[noreturn]] inline void m_fail(std::string_view message, std::int32_t number) {
  fail(m_what_exception, message, number);
}

// Marked allocated, with storage that holds the rows x cols values the sizes
// promise (a record edited by hand may claim more than it holds).
inline bool is_allocated(const t_matrix& m) noexcept {
  return m.allocated && holds_elements(m.elements, m.rows, m.cols);
}

// The "matrix not allocated" family of checks, error 2001.
inline void m_require_allocated(const t_matrix& m, std::string_view message) {
  if (!is_allocated(m)) m_fail(message, 2001);
}

// Sets the shape and gives `m` rows x cols zeros, or stops with `message`
// (error 2001) when the storage cannot be had.
inline void create_storage(t_matrix& m, std::int32_t rows, std::int32_t cols, std::string_view message) {
  m.rows = rows;
  m.cols = cols;
  if (!allocate_elements(m.elements, static_cast<std::int64_t>(rows) * cols)) m_fail(message, 2001);
  m.allocated = true;
}

// The working copies of the matrix routines. A plain copy of a record would
// let std::bad_alloc escape; these stop with `message` (error 2001, through
// m_what_exception) instead.
inline t_matrix checked_copy(const t_matrix& a, std::string_view message) {
  t_matrix copy;
  if (!copy_elements(copy.elements, a.elements)) m_fail(message, 2001);
  copy.rows = a.rows;
  copy.cols = a.cols;
  copy.allocated = a.allocated;
  return copy;
}
inline t_vector checked_copy(const t_vector& v, std::string_view message) {
  t_vector copy;
  if (!copy_elements(copy.elements, v.elements)) m_fail(message, 2001);
  copy.size = v.size;
  copy.allocated = v.allocated;
  return copy;
}

// A copy of plain elements as a work buffer, or the stop with `message`.
inline std::vector<float> checked_copy(const std::vector<float>& values, std::string_view message) {
  std::vector<float> copy;
  if (!copy_elements(copy, values)) m_fail(message, 2001);
  return copy;
}

// Whether every element of m is finite (no NaN, no infinity).
inline bool all_finite(const t_matrix& m) {
  return std::all_of(m.elements.begin(), m.elements.end(), [](float x) { return std::isfinite(x); });
}

// A float work buffer of `count` zeros, or the stop with `message`.
inline std::vector<float> work_buffer(std::int64_t count, std::string_view message) {
  std::vector<float> buffer;
  if (!allocate_elements(buffer, count)) m_fail(message, 2001);
  return buffer;
}

// A large work buffer kept per thread between calls. An operation that
// takes a few buffers of n^2 floats per call would otherwise give them back
// to the system at its end and fault their pages in again on the next call
// (a quarter of m_eig_sym's time with vectors at n = 512). It holds `count`
// zeros, or a copy of `source`, as work_buffer would (or stops with
// `message`), and gives its storage back to the thread's store when it
// goes; the store keeps a few buffers of moderate size only (kept_buffers.cpp).
class kept_buffer {
 public:
  kept_buffer(std::int64_t count, std::string_view message);
  kept_buffer(const std::vector<float>& source, std::string_view message);
  ~kept_buffer();
  kept_buffer(const kept_buffer&) = delete;
  kept_buffer& operator=(const kept_buffer&) = delete;
  std::vector<float>& get() noexcept { return storage_; }

 private:
  std::vector<float> storage_;
};

// Appends to a work buffer that grows value by value, or stops with `message`.
inline void checked_append(std::vector<float>& buffer, float value, std::string_view message) {
  if (!append_element(buffer, value)) m_fail(message, 2001);
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
