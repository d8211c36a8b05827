// A matrix written out in the source, row by row.

#include <orvik/matrix.hpp>

#include "matrix/matrix_internal.hpp"

#include <algorithm>
#include <cstdint>

namespace orvik {

t_matrix m_fromrows(std::initializer_list<std::initializer_list<float>> rows) {
  if (rows.size() == 0) detail::m_fail("m_fromrows::row is nil or negative", 201);
  const std::size_t cols = rows.begin()->size();
  if (cols == 0) detail::m_fail("m_fromrows::column is nil or negative", 201);
  if (std::any_of(rows.begin(), rows.end(), [cols](const auto& row) { return row.size() != cols; })) {
    detail::m_fail("m_fromrows::rows are not the same size", 202);
  }
  t_matrix result;
  // Through m_init, after the checks: a refused literal leaves the
  // remembered sizes alone. A list written in the source is far below the
  // int32 range, and m_init refuses a count it cannot hold.
  m_init(result, static_cast<std::int32_t>(rows.size()), static_cast<std::int32_t>(cols));
  std::int32_t i = 1;
  for (const auto& row : rows) {
    std::int32_t j = 1;
    for (const float value : row) detail::at(result, i, j++) = value;
    ++i;
  }
  return result;
}

}  // namespace orvik
