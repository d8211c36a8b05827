// Gram-Schmidt QR: the plain sweep, which refuses a column that collapses
// while the rank says it may not, and the re-orthogonalising sweep, which
// repeats passes while a column keeps collapsing and turns a vanished column
// into zeros instead of failing. Both give the thin factor: Q m x n, R n x n.
//
// Both sweeps run right-looking: as soon as column k of Q is final, its
// projection is taken out of every later column at once (one product of the
// block by Q(., k), one rounded update per element). Each later column still
// receives the projections on Q(., 1), Q(., 2), ... in that order, each
// coefficient taken from the column as already reduced, with the rounding of
// the vector operations the sweep is written with; only the columns are
// interleaved.
//
// The columns still to be reduced are kept transposed, one to a row, so that
// a coefficient's terms and an update's elements lie along the rows' common
// stretches of memory: both are plain kernel calls across the later columns.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/columns.hpp"
#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace orvik {
namespace {

float* column(t_matrix& m, std::int32_t j) {
  return m.elements.data() + static_cast<std::ptrdiff_t>(j - 1) * static_cast<std::ptrdiff_t>(m.rows);
}

// The columns of an m x n matrix, transposed: column j is row j of a
// column-major array whose rows run in whole stretches of kStretch (the rows
// past n are zeros), so that the kernels below work in whole vectors.
class transposed_columns {
 public:
  transposed_columns(const t_matrix& a, std::string_view refused)
      : m_(a.rows), n_(a.cols), ld_((a.cols + kStretch - 1) / kStretch * kStretch), t_(inline_) {
    // The array, then the coefficients, from a 64-byte boundary: small ones
    // in the object itself, larger ones on the heap.
    const std::int64_t count = static_cast<std::int64_t>(ld_) * (m_ + 1);
    if (count <= static_cast<std::int64_t>(kInline)) {
      std::fill_n(inline_, count, 0.0f);
    } else {
      storage_ = detail::work_buffer(count + kStretch, refused);
      t_ = aligned(storage_.data());
    }
    coefficients_ = t_ + static_cast<std::ptrdiff_t>(ld_) * m_;
    // Row by row of a: each column of the array is written in one stretch.
    const float* from = a.elements.data();
    for (std::int32_t i = 0; i < m_; ++i) {
      float* to = t_ + static_cast<std::ptrdiff_t>(i) * ld_;
      for (std::int32_t j = 0; j < n_; ++j) to[j] = from[i + static_cast<std::ptrdiff_t>(j) * m_];
    }
  }
  transposed_columns(const transposed_columns&) = delete;
  transposed_columns& operator=(const transposed_columns&) = delete;

  // Takes column k (1-based) out into `to` (m entries; null: drops it),
  // leaving zeros in its place.
  void take_column(std::int32_t k, float* to) {
    for (std::int32_t i = 0; i < m_; ++i) {
      float& from = t_[index(k - 1, i)];
      if (to != nullptr) to[i] = from;
      from = 0.0f;
    }
  }

  // Takes the projection on q (m entries) out of columns k+1 .. n, adding
  // each coefficient to R(k, k+1 .. n) (or storing it there).
  //
  // The kernels run from the start of the stretch that holds row k, over the
  // rows of columns already taken out and the padding rows too: those are
  // zeros, so their coefficients are zeros and the update leaves them zeros
  // (for a finite q; they are never read but by these kernels).
  void project_out_of_later_columns(const float* q, std::int32_t k, t_matrix& r, bool accumulate) {
    if (k >= n_) return;
    const std::int32_t first = k / kStretch * kStretch;
    const std::int32_t rows = ld_ - first;
    float* block = t_ + first;
    float* c = coefficients_;
    // coefficient(j) = q^T column(j): the terms q(1) column(j)(1), ... in
    // order from 0, one fused step each.
    kernels::gemm(rows, 1, m_, {block, 1, ld_}, {q, 1, m_}, c, rows, kernels::gemm_mode::assign);
    for (std::int32_t j = k + 1; j <= n_; ++j) {
      float& entry = detail::at(r, k, j);
      const float cj = c[j - 1 - first];
      entry = accumulate ? entry + cj : cj;
    }
    // column(j)(i) = column(j)(i) - round(coefficient(j) q(i)).
    kernels::subtract_rounded_outer(block, ld_, q, c, rows, m_);
  }

 private:
  static constexpr std::int32_t kStretch = 16;

  std::size_t index(std::int32_t row, std::int32_t col) const {
    return static_cast<std::size_t>(row) + static_cast<std::size_t>(col) * static_cast<std::size_t>(ld_);
  }

  // The first 64-byte boundary in p's buffer (of kStretch extra floats).
  static float* aligned(float* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return p + (-address & 63U) / sizeof(float);
  }

  std::int32_t m_;
  std::int32_t n_;
  std::int32_t ld_;
  static constexpr std::size_t kInline = 2048;
  alignas(64) float inline_[kInline];
  std::vector<float> storage_;
  float* t_;
  float* coefficients_ = nullptr;
};

}  // namespace

std::optional<t_qr> detail::try_gram_schmidt(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompQR_GramSchimdt::matrix not allocated");
  const float eps = math_machine_eps();
  t_qr qr;
  t_matrix w = detail::pivoted_copy(a, permute, qr.P, qr.nb_permut);
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  m_init(qr.Q, m, n);
  m_init(qr.R, n, n);
  transposed_columns rest(w, "m_decompQR_GramSchimdt::allocate error");
  // The rank of the copy, which is scratch now (as m_rank_gaussj finds it,
  // without a copy of its own).
  const auto rank = static_cast<float>(kernels::gauss_jordan_rank(w.elements.data(), m, n, eps));
  m_destruct(w);
  // The sweep's vectors are made by v_init, whose size is remembered.
  detail::v_remember_init_size(m);
  bool exists = true;

  for (std::int32_t k = 1; k <= n; ++k) {
    // The first column is always tested; columns past the rank keep a zero
    // R(k, k) and a zero Q(., k).
    float* qk = column(qr.Q, k);
    if (k == 1 || rank >= static_cast<float>(k)) {
      rest.take_column(k, qk);
      const float length = detail::euclidean_norm(qk, m);
      detail::at(qr.R, k, k) = length;
      if (length <= eps) {
        exists = false;
        break;
      }
      // One reciprocal, then one rounded product per entry.
      kernels::scale_in_place(qk, 1.0f / length, m);
    } else {
      rest.take_column(k, nullptr);
    }
    rest.project_out_of_later_columns(qk, k, qr.R, false);
  }
  if (!exists) return std::nullopt;
  return qr;
}

t_qr m_decompqr_gramschimdt(const t_matrix& a, std::optional<bool> permute) {
  std::optional<t_qr> qr = detail::try_gram_schmidt(a, permute);
  if (!qr) detail::m_fail(detail::gram_schmidt_refused, 305);
  return std::move(*qr);
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

  transposed_columns rest(qr.Q, "m_decompQR_GramSchimdt::allocate error");
  for (std::int32_t k = 1; k <= n; ++k) {
    float* qk = column(qr.Q, k);
    rest.take_column(k, qk);
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
    rest.project_out_of_later_columns(qk, k, qr.R, true);
  }
  // What the last column's temporaries leave: the block Q(1..m, n..n) and
  // its scaled copy, both m x 1.
  detail::m_remember_extract_bounds(1, m, n, n);
  detail::m_remember_init_sizes(m, 1);
  return qr;
}

}  // namespace orvik
