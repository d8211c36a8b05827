// Gram-Schmidt QR: the plain sweep, which refuses a column that collapses
// while the rank says it may not, and the re-orthogonalising sweep, which
// repeats passes while a column keeps collapsing and turns a vanished column
// into zeros instead of failing. Both give the thin factor: Q m x n, R n x n.
//
// Both sweeps run right-looking: as soon as column k of Q is final, its
// projection is taken out of every later column at once (one product of a
// row by the block, one rounded update per column). Each later column still
// receives the projections on Q(., 1), Q(., 2), ... in that order, each
// coefficient taken from the column as already reduced, with the rounding of
// the vector operations the sweep is written with; only the columns are
// interleaved.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/columns.hpp"
#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace orvik {
namespace {

float* column(t_matrix& m, std::int32_t j) {
  return m.elements.data() + static_cast<std::ptrdiff_t>(j - 1) * static_cast<std::ptrdiff_t>(m.rows);
}

// Takes the projection on q (m entries) out of columns k+1 .. n of `work`
// (m x n), adding each coefficient to R(k, k+1 .. n).
void project_out_of_later_columns(const float* q, t_matrix& work, std::int32_t k, t_matrix& r,
                                  std::vector<float>& coefficients, bool accumulate) {
  const std::int32_t m = work.rows;
  const std::int32_t later = work.cols - k;
  if (later < 1) return;
  float* block = column(work, k + 1);
  kernels::prod_vec_left(q, block, coefficients.data(), m, later);
  for (std::int32_t t = 0; t < later; ++t) {
    float& entry = detail::at(r, k, k + 1 + t);
    entry = accumulate ? entry + coefficients[static_cast<std::size_t>(t)] : coefficients[static_cast<std::size_t>(t)];
  }
  kernels::subtract_rounded_outer(block, m, coefficients.data(), q, m, later);
}

}  // namespace

t_qr m_decompqr_gramschimdt(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompQR_GramSchimdt::matrix not allocated");
  const float eps = math_machine_eps();
  t_qr qr;
  t_matrix w = detail::pivoted_copy(a, permute, qr.P, qr.nb_permut);
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  m_init(qr.Q, m, n);
  m_init(qr.R, n, n);
  const auto rank = static_cast<float>(m_rank_gaussj(w));

  // g holds the reduced column while its length is measured; made through
  // v_init like the vectors of the sweep, whose size v_init remembers.
  t_vector g;
  v_init(g, m);
  std::vector<float> coefficients = detail::work_buffer(n, "m_decompQR_GramSchimdt::allocate error");
  bool exists = true;

  for (std::int32_t k = 1; k <= n; ++k) {
    // The first column is always tested; columns past the rank keep a zero
    // R(k, k) and a zero Q(., k).
    if (k == 1 || rank >= static_cast<float>(k)) {
      const float* reduced = column(w, k);
      std::copy_n(reduced, m, g.elements.begin());
      const float length = v_norm(g, 2);
      detail::at(qr.R, k, k) = length;
      if (length <= eps) {
        exists = false;
        break;
      }
      // One reciprocal, then one rounded product per entry.
      kernels::scale_into(column(qr.Q, k), reduced, 1.0f / length, m);
    }
    project_out_of_later_columns(column(qr.Q, k), w, k, qr.R, coefficients, false);
  }
  m_destruct(w);
  v_destruct(g);
  if (!exists) detail::m_fail("m_decompQR_GramSchimdt::QR decomposition not exist", 305);
  return qr;
}

t_qr m_decompqr_gramschimdt_reortho(const t_matrix& a, std::optional<float> qr_tol, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompQR_GramSchimdt::matrix not allocated");
  const float tol = qr_tol.value_or(1.0e-25f);
  t_qr qr;
  qr.Q = detail::pivoted_copy(a, permute, qr.P, qr.nb_permut);
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  m_init(qr.R, n, n);
  // A matrix without rows has no column block to take: the first one is
  // refused by m_extract itself.
  if (m < 1) (void)m_extract(qr.Q, 1, m, 1, 1);

  // The lengths go through the norms on a one-column matrix and a vector,
  // as the blocks the sweep is written with; the vector is made by v_init,
  // whose size is remembered as after those blocks.
  t_matrix one_column = m_zeros(m, 1);
  t_vector flat;
  v_init(flat, m);
  const auto norm_of_column = [&](const float* x) {
    std::copy_n(x, m, flat.elements.begin());
    return v_norm(flat);
  };

  // Each column's length before any pass is that of the input column.
  std::vector<float> before = detail::work_buffer(n, "m_decompQR_GramSchimdt::allocate error");
  for (std::int32_t k = 1; k <= n; ++k) {
    std::copy_n(column(qr.Q, k), m, one_column.elements.begin());
    before[static_cast<std::size_t>(k - 1)] = m_norm(one_column, -1);
  }

  std::vector<float> coefficients = detail::work_buffer(n, "m_decompQR_GramSchimdt::allocate error");
  for (std::int32_t k = 1; k <= n; ++k) {
    float* qk = column(qr.Q, k);
    float previous = before[static_cast<std::size_t>(k - 1)];
    // The first pass came from the columns before k, as each was finished.
    float length = norm_of_column(qk);
    for (;;) {
      const float floor = 10.0f * tol * previous;
      if (!(length > floor && length < previous / 10.0f)) {
        if (length < floor) length = 0.0f;
        break;
      }
      previous = length;
      for (std::int32_t i = 1; i <= k - 1; ++i) {
        const float* qi = column(qr.Q, i);
        const float c = kernels::dot(qi, qk, m);
        detail::at(qr.R, i, k) = detail::at(qr.R, i, k) + c;
        kernels::subtract_rounded_outer(qk, m, &c, qi, m, 1);
      }
      length = norm_of_column(qk);
    }
    detail::at(qr.R, k, k) = length;
    // The scale is zero exactly when the column vanished. (Testing the
    // product length * tol instead would zero every column for a tol of 0.)
    const float scale = length == 0.0f ? 0.0f : 1.0f / length;
    kernels::scale_in_place(qk, scale, m);
    project_out_of_later_columns(qk, qr.Q, k, qr.R, coefficients, true);
  }
  // What the last column's temporaries leave: the block Q(1..m, n..n) and
  // its scaled copy, both m x 1.
  detail::m_remember_extract_bounds(1, m, n, n);
  detail::m_remember_init_sizes(m, 1);
  return qr;
}

}  // namespace orvik
