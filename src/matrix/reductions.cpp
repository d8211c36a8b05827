// Sums, minima, maxima and sign counts over a matrix, a column or a row, and
// the exact equality and symmetry tests.

#include <orvik/matrix.hpp>

#include "common/wide_sum.hpp"
#include "matrix/matrix_internal.hpp"

#include <cstddef>
#include <limits>

namespace orvik {
namespace {

// The elements one reduction visits, in visiting order. The offset of the
// first one is kept apart from the storage: a row of a matrix without
// columns starts past storage that holds no element at all.
struct run {
  const float* storage;
  std::ptrdiff_t start;
  std::int32_t count;
  std::ptrdiff_t stride;

  float operator[](std::int32_t t) const { return storage[start + static_cast<std::ptrdiff_t>(t) * stride]; }
};

run whole(const t_matrix& m, std::string_view unallocated) {
  detail::m_require_allocated(m, unallocated);
  return {m.elements.data(), 0, static_cast<std::int32_t>(m.elements.size()), 1};
}

run column(const t_matrix& m, std::int32_t c, std::string_view unallocated, std::string_view bad_index) {
  detail::m_require_allocated(m, unallocated);
  if (c < 1 || c > m.cols) detail::m_fail(bad_index, 201);
  return {m.elements.data(), static_cast<std::ptrdiff_t>(c - 1) * m.rows, m.rows, 1};
}

run row(const t_matrix& m, std::int32_t r, std::string_view unallocated, std::string_view bad_index) {
  detail::m_require_allocated(m, unallocated);
  if (r < 1 || r > m.rows) detail::m_fail(bad_index, 201);
  return {m.elements.data(), r - 1, m.cols, m.rows};
}

// Held wide and rounded once, so a large term and its negative do not wipe
// out the small terms between them.
float sum_of(run e) {
  detail::wide_sum s;
  for (std::int32_t t = 0; t < e.count; ++t) s.add(e[t]);
  return s.value();
}

// The start values are the largest finite floats, not infinities, and are
// returned when nothing beats them; NaN never compares and is skipped.
float min_of(run e) {
  float best = std::numeric_limits<float>::max();
  for (std::int32_t t = 0; t < e.count; ++t) {
    if (e[t] < best) best = e[t];
  }
  return best;
}

float max_of(run e) {
  float best = -std::numeric_limits<float>::max();
  for (std::int32_t t = 0; t < e.count; ++t) {
    if (e[t] > best) best = e[t];
  }
  return best;
}

// Both signed zeros count as zero and neither as negative; NaN counts
// nowhere.
template <typename Pred>
std::int32_t count_of(run e, Pred pred) {
  std::int32_t n = 0;
  for (std::int32_t t = 0; t < e.count; ++t) {
    if (pred(e[t])) ++n;
  }
  return n;
}

bool is_zero(float x) { return x == 0.0f; }
bool is_positive(float x) { return x > 0.0f; }
bool is_negative(float x) { return x < 0.0f; }

}  // namespace

float m_sum(const t_matrix& m) { return sum_of(whole(m, "m_sum::matrix not allocated")); }
float m_sumcol(const t_matrix& m, std::int32_t c) {
  return sum_of(column(m, c, "m_sumCol::matrix not allocated", "m_sumCol::column nil or negative"));
}
float m_sumrow(const t_matrix& m, std::int32_t r) {
  return sum_of(row(m, r, "m_sumRow::matrix not allocated", "m_sumRow::row is nil or negative"));
}

float m_min(const t_matrix& m) { return min_of(whole(m, "m_min::matrix not allocated")); }
float m_mincol(const t_matrix& m, std::int32_t c) {
  return min_of(column(m, c, "m_minCol::matrix not allocated", "m_minCol::column nil or negative"));
}
float m_minrow(const t_matrix& m, std::int32_t r) {
  return min_of(row(m, r, "m_minRow::matrix not allocated", "m_minRow::row is nil or negative"));
}

float m_max(const t_matrix& m) { return max_of(whole(m, "m_max::matrix not allocated")); }
float m_maxcol(const t_matrix& m, std::int32_t c) {
  return max_of(column(m, c, "m_maxCol::matrix not allocated", "m_maxCol::column nil or negative"));
}
float m_maxrow(const t_matrix& m, std::int32_t r) {
  return max_of(row(m, r, "m_maxRow::matrix not allocated", "m_maxRow::row is nil or negative"));
}

std::int32_t m_nbzeros(const t_matrix& m) { return count_of(whole(m, "m_nbzeros::matrix not allocated"), is_zero); }
std::int32_t m_nbzeroscol(const t_matrix& m, std::int32_t c) {
  return count_of(column(m, c, "m_nbzerosCol::matrix not allocated", "m_nbzerosCol::column nil or negative"), is_zero);
}
std::int32_t m_nbzerosrow(const t_matrix& m, std::int32_t r) {
  return count_of(row(m, r, "m_nbzerosRow::matrix not allocated", "m_nbzerosRow::row nil or negative"), is_zero);
}

std::int32_t m_nbpositive(const t_matrix& m) {
  return count_of(whole(m, "m_nbpositive::matrix not allocated"), is_positive);
}
std::int32_t m_nbpositivecol(const t_matrix& m, std::int32_t c) {
  return count_of(column(m, c, "m_nbpositiveCol::matrix not allocated", "m_nbpositiveCol::column nil or negative"),
                  is_positive);
}
std::int32_t m_nbpositiverow(const t_matrix& m, std::int32_t r) {
  return count_of(row(m, r, "m_nbpositiveRow::matrix not allocated", "m_nbpositiveRow::row is nil or negative"),
                  is_positive);
}

std::int32_t m_nbnegative(const t_matrix& m) {
  return count_of(whole(m, "m_nbnegative::matrix not allocated"), is_negative);
}
std::int32_t m_nbnegativecol(const t_matrix& m, std::int32_t c) {
  return count_of(column(m, c, "m_nbnegativeCol::matrix not allocated", "m_nbnegativeCol::column nil or negative"),
                  is_negative);
}
std::int32_t m_nbnegativerow(const t_matrix& m, std::int32_t r) {
  return count_of(row(m, r, "m_nbnegativeRow::matrix not allocated", "m_nbnegativeRow::row is nil or negative"),
                  is_negative);
}

bool m_isequal_scalar(const t_matrix& a, float x) {
  detail::m_require_allocated(a, "m_isEqual_scalar::matrix not allocated");
  for (const float e : a.elements) {
    if (!(e == x)) return false;
  }
  return true;
}

bool m_isequal(const t_matrix& a, const t_matrix& b) {
  if (!detail::is_allocated(a) || !detail::is_allocated(b)) detail::m_fail("m_isEqual::matrix not allocated", 2001);
  if (a.rows != b.rows || a.cols != b.cols) detail::m_fail("m_isEqual::matrices are not the same size", 202);
  for (std::size_t t = 0; t < a.elements.size(); ++t) {
    if (!(a.elements[t] == b.elements[t])) return false;
  }
  return true;
}

bool m_issymmetric(const t_matrix& a) {
  detail::m_require_allocated(a, " m_isSymmetric::matrix not allocated");
  // The transpose is formed whatever the shape, so the remembered sizes of
  // m_init end at cols x rows in every case.
  const t_matrix t = m_trans(a);
  // A rectangular matrix cannot equal its transpose; comparing positions
  // of two differently shaped arrays would read past the smaller one.
  if (a.rows != a.cols) return false;
  for (std::size_t k = 0; k < a.elements.size(); ++k) {
    if (!(a.elements[k] == t.elements[k])) return false;
  }
  return true;
}

}  // namespace orvik
