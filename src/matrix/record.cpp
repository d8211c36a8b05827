// The matrix record: storage, filling, shape queries and the text file reader.

#include <orvik/matrix.hpp>
#include <orvik/utility.hpp>

#include "maths/random_source.hpp"
#include "matrix/matrix_internal.hpp"
#include "utility/text_reader.hpp"

#include <algorithm>

namespace orvik {
namespace {

// Each thread remembers its own sizes.
thread_local std::int32_t remembered_rows = 2;
thread_local std::int32_t remembered_cols = 2;

void fill(t_matrix& m, float value) { std::fill(m.elements.begin(), m.elements.end(), value); }

}  // namespace

void detail::m_remember_init_sizes(std::int32_t rows, std::int32_t cols) noexcept {
  remembered_rows = rows;
  remembered_cols = cols;
}

void m_init(t_matrix& m, std::optional<std::int32_t> rows, std::optional<std::int32_t> cols) {
  if (rows) remembered_rows = *rows;
  if (cols) remembered_cols = *cols;
  if (remembered_rows < 1) detail::m_fail("m_init::row is nil or negative", 201);
  if (remembered_cols < 1) detail::m_fail("m_init::column is nil or negative", 201);
  m_destruct(m);
  detail::create_storage(m, remembered_rows, remembered_cols, "m_init::allocate error");
}

void m_resize(t_matrix& m, std::int32_t rows, std::int32_t cols) {
  if (rows < 1) detail::m_fail("m_resize::row is nil or negative", 201);
  if (cols < 1) detail::m_fail("m_resize::column is nil or negative", 201);
  m_destruct(m);
  detail::create_storage(m, rows, cols, "m_resize::allocate error");
}

t_matrix m_zeros(std::int32_t rows, std::int32_t cols) {
  // A negative size would leave a record claiming a negative shape; zero is
  // still allowed and gives an allocated matrix without elements.
  if (rows < 0) detail::m_fail("m_zeros::row is nil or negative", 201);
  if (cols < 0) detail::m_fail("m_zeros::column is nil or negative", 201);
  t_matrix result;
  detail::create_storage(result, rows, cols, "m_zeros::allocate error");
  return result;
}

void m_init_fromfile(t_matrix& m, std::string_view filename, std::optional<std::int32_t> /*unit*/) {
  u_is_exist_file(filename);
  m_destruct(m);
  detail::text_reader in(filename);
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  // A file that ends inside the header is not an error: m stays unallocated.
  if (!in.read_int(rows) || !in.read_int(cols)) return;
  if (rows < 1) detail::m_fail("m_init_fromfile::row is nil or negative", 201);
  if (cols < 1) detail::m_fail("m_init_fromfile::column is nil or negative", 201);
  // Rows the file does not reach are left as 0.0.
  detail::create_storage(m, rows, cols, "m_init_fromfile::matrix allocate error");
  for (std::int32_t i = 1; i <= rows; ++i) {
    in.next_statement();
    for (std::int32_t j = 1; j <= cols; ++j) {
      if (!in.read_real(detail::at(m, i, j))) return;
    }
  }
}

void m_minit_value(t_matrix& m, float value) {
  detail::m_require_allocated(m, "m_minit_value::matrix not allocate yet");
  fill(m, value);
}

void m_affect(t_matrix& m, float value) {
  detail::m_require_allocated(m, "m_affect::matrix not allocated");
  fill(m, value);
}

void mc_random(t_matrix& m, std::optional<float> low, std::optional<float> high) {
  detail::m_require_allocated(m, "mc_random::matrix not allocate yet");
  const float lo = low.value_or(1.0f);
  const float hi = high.value_or(static_cast<float>(std::max(m.rows, m.cols)));
  // Row by row, so the flags of one anti-diagonal i + j share their seed.
  for (std::int32_t i = 1; i <= m.rows; ++i) {
    for (std::int32_t j = 1; j <= m.cols; ++j) detail::at(m, i, j) = detail::random_fill_value(i + j, lo, hi);
  }
}

void m_destruct(t_matrix& m) {
  if (!m.allocated) return;
  const bool has_storage = !m.elements.empty() || static_cast<std::int64_t>(m.rows) * m.cols <= 0;
  if (!has_storage) detail::m_fail("m_destruct::matrix deallocate error", 2002);
  std::vector<float>().swap(m.elements);
  m.allocated = false;
}

std::int32_t m_getsizerows(const t_matrix& m) {
  detail::m_require_allocated(m, "m_getSizeRows::matrix not allocated");
  return m.rows;
}

std::int32_t m_getsizecols(const t_matrix& m) {
  detail::m_require_allocated(m, "m_getSizeCols::matrix not allocated");
  return m.cols;
}

std::int32_t m_getsize(const t_matrix& m) {
  detail::m_require_allocated(m, "m_getSize::matrix not allocated");
  // The check above bounds the product by the element cap, so it fits.
  return static_cast<std::int32_t>(static_cast<std::int64_t>(m.rows) * m.cols);
}

}  // namespace orvik
