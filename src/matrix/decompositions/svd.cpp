// Singular value decomposition by repeated QR factorization: factor R^T,
// factor the transposed triangular factor again, and so on until the part of
// R above its diagonal is negligible next to the diagonal.
//
// The transposes, the products U * Q and V * Q, the triangle and the
// diagonal of every sweep go through buffers made once per call; the values
// and the remembered sizes they leave are those of the temporaries the
// sweep is written with.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/decompositions/repeat_watch.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik {
namespace {

struct qr_settings {
  std::optional<std::string_view> method;
  std::optional<float> qr_tol;
  std::optional<bool> permute;
};

// The second run accepts an error measure down to this many roundings per
// singular value: where the sweeps of a stable factorization level off.
constexpr float floor_roundings = 4.0f;

// A Householder QR of the SVD's own, used only when the sweeps on the
// explicit-reflection QR cannot reach the tolerance. The first entry of v is
// formed without the cancellation of x(1) - alpha, v is normalised whatever
// its length (scaled by its largest entry first, so that v^T v cannot
// underflow), the reflection is applied without forming H, and the entries
// it annihilates are set to zero. Shapes and signs are those of
// m_decompqr_householder: Q m x m, R m x n, R(k, k) carrying the sign of x(1).
t_qr stable_householder(const t_matrix& a, std::optional<bool> permute) {
  t_qr qr;
  qr.R = detail::pivoted_copy(a, permute, qr.P, qr.nb_permut);
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  t_matrix& r = qr.R;
  t_matrix& q = qr.Q;
  detail::create_storage(q, m, m, "m_decompsvd::allocate error");
  for (std::int32_t i = 1; i <= m; ++i) detail::at(q, i, i) = 1.0f;

  std::vector<float> v = detail::work_buffer(m, "m_decompsvd::allocate error");
  std::vector<float> coefficients = detail::work_buffer(n, "m_decompsvd::allocate error");
  std::vector<float> row_products = detail::work_buffer(m, "m_decompsvd::allocate error");
  for (std::int32_t k = 1; k <= std::min(m - 1, n); ++k) {
    const std::int32_t len = m - k + 1;
    float scale = 0.0f;
    for (std::int32_t i = 1; i <= len; ++i) scale = std::fmax(scale, std::fabs(detail::at(r, k + i - 1, k)));
    if (!(scale > 0.0f)) continue;

    float tail = 0.0f;
    for (std::int32_t i = 2; i <= len; ++i) {
      const float xi = detail::at(r, k + i - 1, k) / scale;
      v[static_cast<std::size_t>(i - 1)] = xi;
      tail = std::fma(xi, xi, tail);
    }
    const float x1 = detail::at(r, k, k) / scale;
    float alpha = std::sqrt(std::fma(x1, x1, tail));
    if (x1 < 0.0f) alpha = -alpha;
    // x(1) - alpha = (x(1)^2 - alpha^2) / (x(1) + alpha), and x(1) and alpha
    // share their sign, so the denominator does not cancel.
    v[0] = -tail / (x1 + alpha);

    float peak = 0.0f;
    for (std::int32_t i = 1; i <= len; ++i) peak = std::fmax(peak, std::fabs(v[static_cast<std::size_t>(i - 1)]));
    detail::at(r, k, k) = alpha * scale;
    for (std::int32_t i = 2; i <= len; ++i) detail::at(r, k + i - 1, k) = 0.0f;
    // Already a multiple of e1: nothing to reflect.
    if (!(peak > 0.0f)) continue;
    float t = 0.0f;
    for (std::int32_t i = 1; i <= len; ++i) {
      float& vi = v[static_cast<std::size_t>(i - 1)];
      vi = vi / peak;
      t = std::fma(vi, vi, t);
    }
    const float length = std::sqrt(t);
    for (std::int32_t i = 1; i <= len; ++i) v[static_cast<std::size_t>(i - 1)] /= length;

    // R(k..m, j) = R(k..m, j) - 2 v (v^T R(k..m, j)) for the columns right of k:
    // every v^T R(k..m, j) first (the columns do not meet), then the updates.
    const std::int32_t right = n - k;
    if (right > 0) {
      float* block = &detail::at(r, k, k + 1);
      kernels::gemm(1, right, len, {v.data(), 0, 1}, {block, 1, m}, coefficients.data(), 1, kernels::gemm_mode::assign);
      for (std::int32_t j = 0; j < right; ++j) {
        const float two_d = 2.0f * coefficients[static_cast<std::size_t>(j)];
        kernels::subtract_scaled(block + static_cast<std::ptrdiff_t>(j) * m, 1, two_d, v.data(), 1, len);
      }
    }
    // Q(i, k..m) = Q(i, k..m) - 2 (Q(i, k..m) v) v^T for every row: the
    // products of the rows with v, then a rank-one update with one term.
    float* q_block = &detail::at(q, 1, k);
    kernels::prod_vec(q_block, v.data(), row_products.data(), m, len);
    for (std::int32_t i = 0; i < m; ++i) {
      row_products[static_cast<std::size_t>(i)] = 2.0f * row_products[static_cast<std::size_t>(i)];
    }
    kernels::gemm(m, len, 1, {row_products.data(), 1, m}, {v.data(), 0, 1}, q_block, m, kernels::gemm_mode::subtract);
  }
  return qr;
}

// A factorization of R^T, or nothing where plain Gram-Schmidt refuses it.
using factorize = std::optional<t_qr> (*)(const t_matrix&, const qr_settings&);

std::optional<t_qr> by_dispatcher(const t_matrix& a, const qr_settings& qr_args) {
  return detail::try_decompqr(a, qr_args.method, qr_args.qr_tol, qr_args.permute);
}

std::optional<t_qr> by_stable_householder(const t_matrix& a, const qr_settings& qr_args) {
  return stable_householder(a, qr_args.permute);
}

// Gives `storage` rows x cols values, keeping its allocation when it has room
// for them: the buffers of the sweeps are reshaped every pass and
// reallocated at most once or twice per call.
void reshape(std::vector<float>& storage, std::int32_t rows, std::int32_t cols, std::string_view refused) {
  const auto count = static_cast<std::int64_t>(rows) * cols;
  if (static_cast<std::int64_t>(storage.capacity()) >= count) {
    storage.resize(static_cast<std::size_t>(count));
  } else if (!detail::allocate_elements(storage, count)) {
    detail::m_fail(refused, 2001);
  }
}

// The buffers the sweeps of one call share, the stable rerun included.
struct sweep_buffers {
  t_matrix rt;                   // R^T, the matrix each half-step factors
  std::vector<float> u_product;  // U * Q, then exchanged with U's storage
  std::vector<float> v_product;  // V * Q, likewise
  t_vector diagonal;             // the diagonal of R
  std::string_view refused;
};

// to = from^T.
void transpose_into(t_matrix& to, const t_matrix& from, std::string_view refused) {
  reshape(to.elements, from.cols, from.rows, refused);
  to.rows = from.cols;
  to.cols = from.rows;
  to.allocated = true;
  for (std::int32_t j = 1; j <= from.cols; ++j) {
    for (std::int32_t i = 1; i <= from.rows; ++i) detail::at(to, j, i) = detail::at(from, i, j);
  }
}

// acc = acc * q through the product kernel into `spare`, whose storage then
// changes places with acc's.
void multiply_into(t_matrix& acc, const t_matrix& q, std::vector<float>& spare, std::string_view refused) {
  reshape(spare, acc.rows, q.cols, refused);
  kernels::prod_mat(acc.elements.data(), q.elements.data(), spare.data(), acc.rows, acc.cols, q.cols);
  acc.elements.swap(spare);
  acc.cols = q.cols;
}

// The Frobenius norm of the strictly upper part of r, as m_norm measures
// m_triu(r, 1): the entries it zeroes would add fma(0, 0, s) = s.
float strictly_upper_norm(const t_matrix& r) {
  float s = 0.0f;
  for (std::int32_t j = 2; j <= r.cols; ++j) {
    const float* column = r.elements.data() + static_cast<std::ptrdiff_t>(j - 1) * r.rows;
    s = kernels::dot(s, column, column, std::min(j - 1, r.rows));
  }
  return std::sqrt(s);
}

// One half-step: factor R^T; R becomes the new triangular factor and `acc`,
// when given, is multiplied by the orthogonal one. False, with nothing
// changed after the factorization, where it is refused.
bool half_step(t_matrix& r, factorize factor, const qr_settings& qr_args, t_matrix* acc, std::vector<float>& spare,
               sweep_buffers& buffers) {
  transpose_into(buffers.rt, r, buffers.refused);
  // What m_trans leaves, in case the factorization stops.
  detail::m_remember_init_sizes(buffers.rt.rows, buffers.rt.cols);
  std::optional<t_qr> factored = factor(buffers.rt, qr_args);
  if (!factored) return false;
  t_qr& f = *factored;
  r = std::exchange(f.R, t_matrix{});
  if (acc != nullptr) {
    multiply_into(*acc, f.Q, spare, buffers.refused);
    detail::m_remember_init_sizes(acc->rows, acc->cols);
  }
  m_destruct_qr(f);
  return true;
}

// How a run of sweeps ended: its last error measure; a factorization
// refused (plain Gram-Schmidt's 305); or a triangular factor that came back
// bit for bit, so that every later sweep repeats one already made and the
// measure can never reach the tolerance.
struct sweep_end {
  float err;
  bool refused = false;
  bool cycles = false;
};

// Sweeps from R = A^T (U and V the identities, when given) while the error
// measure is above `tolerance` and the limit admits them; leaves the last
// triangular factor in `r`.
//
// Each sweep's R is a function of the previous R alone, and every effect a
// sweep leaves (the remembered sizes) is fixed by the shapes, so a repeat
// settles the outcome: the run ends there, as it would end at the limit.
sweep_end sweeps(const t_matrix& a, float tolerance, std::int32_t limit, factorize factor, const qr_settings& qr_args,
                 t_matrix& r, t_matrix* u, t_matrix* v, sweep_buffers& buffers) {
  const float eps = math_machine_eps();
  r = m_trans(a);
  if (u != nullptr) {
    *u = m_identity(a.rows);
    *v = m_identity(a.cols);
  }
  float err = 10000.0f;
  std::int64_t iter = 0;  // wide, so a limit at the largest int32 cannot overflow it
  detail::repeat_watch watch(r.elements, buffers.refused);
  // iter <= limit admits limit + 1 sweeps.
  while (err > tolerance && iter <= limit) {
    if (!half_step(r, factor, qr_args, u, buffers.u_product, buffers) ||
        !half_step(r, factor, qr_args, v, buffers.v_product, buffers)) {
      return {err, true, false};
    }
    const float e = strictly_upper_norm(r);
    // m_triu(R, 1) and m_diag(R) are the last temporaries of a sweep.
    detail::m_remember_init_sizes(r.rows, r.cols);
    const std::int32_t length = std::min(r.rows, r.cols);
    reshape(buffers.diagonal.elements, length, 1, buffers.refused);
    buffers.diagonal.size = length;
    buffers.diagonal.allocated = true;
    for (std::int32_t i = 1; i <= length; ++i) detail::at(buffers.diagonal, i) = detail::at(r, i, i);
    detail::v_remember_init_size(length);
    float f = v_norm(buffers.diagonal);
    if (std::fabs(f) <= eps) f = 1.0f;
    err = e / f;
    ++iter;
    if (err > tolerance && iter <= limit && watch.repeats(r.elements)) return {err, false, true};
  }
  return {err};
}

// Runs the sweeps and returns the last triangular factor; with `u` and `v`
// given, accumulates the orthogonal factors of the two half-steps into them.
// Nothing where the answer is to come from m_svd instead: a factorization
// refused, whatever the limit, or the default limit spent (or proved out of
// reach) above the tolerance; both only for a finite A, whose m_svd has no
// stop of its own. A limit the caller gave keeps its 301.
std::optional<t_matrix> sweep_until_converged(const t_matrix& a, std::optional<float> tol,
                                              std::optional<std::int32_t> maxiter, const qr_settings& qr_args,
                                              t_matrix* u, t_matrix* v, std::string_view diverge,
                                              std::string_view refused) {
  const float eps = math_machine_eps();
  const float tolerance = tol.value_or(eps);
  // The default limit is held at the largest int32 for the tallest shapes.
  const std::int32_t limit = maxiter.value_or(static_cast<std::int32_t>(std::min<std::int64_t>(
      100 * static_cast<std::int64_t>(std::max(a.rows, a.cols)), std::numeric_limits<std::int32_t>::max())));
  const bool finite = detail::all_finite(a);
  const auto rescued_or_stop = [&](bool was_refused) -> std::optional<t_matrix> {
    if (finite && (was_refused || !maxiter)) return std::nullopt;
    if (was_refused) detail::m_fail(detail::gram_schmidt_refused, 305);
    detail::m_fail(diverge, 301);
  };

  t_matrix r;
  sweep_buffers buffers;
  buffers.refused = refused;
  sweep_end end = sweeps(a, tolerance, limit, by_dispatcher, qr_args, r, u, v, buffers);
  if (end.refused) return rescued_or_stop(true);
  // The explicit reflections leave sub-diagonal entries below about 2^-12 of
  // a column unreduced, so with Householder the measure can level off above
  // any tolerance near eps. Only then, run again on the stable reflection and
  // accept a measure at its own rounding floor.
  if (end.err > tolerance && detail::method_is(qr_args.method, "ho")) {
    const float floor = floor_roundings * static_cast<float>(std::min(a.rows, a.cols)) * eps;
    end = sweeps(a, std::fmax(tolerance, floor), limit, by_stable_householder, qr_args, r, u, v, buffers);
    if (end.err > std::fmax(tolerance, floor) || end.cycles) return rescued_or_stop(false);
    return r;
  }
  // A NaN measure ends the loop too, and is not reported: only a measure
  // still above the tolerance means the limit stopped the iteration.
  if (end.err > tolerance || end.cycles) return rescued_or_stop(false);
  return r;
}

// The decomposition of a finite A from m_svd, in the shapes the sweeps give:
// U m x m (Householder) or with A's n columns (Gram-Schmidt; past min(m, n)
// they are zeros), V n x n, and S m x n made last, as the sweeps' result is.
t_svd from_fast_svd(const t_matrix& a, const qr_settings& qr_args) {
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  const bool householder = detail::method_is(qr_args.method, "ho");
  t_svd f = m_svd(a, householder || m < n);
  t_svd svd;
  svd.V = std::move(f.V);
  if (householder || m >= n) {
    svd.U = std::move(f.U);
  } else {
    m_init(svd.U, m, n);
    std::copy(f.U.elements.begin(), f.U.elements.end(), svd.U.elements.begin());
  }
  m_init(svd.S, m, n);
  for (std::int32_t c = 1; c <= std::min(m, n); ++c) detail::at(svd.S, c, c) = detail::at(f.S, c, c);
  return svd;
}

}  // namespace

t_vector m_decompsvd_s(const t_matrix& a, std::optional<float> tol, std::optional<std::int32_t> maxiter,
                       std::optional<std::string_view> method, std::optional<float> qr_tol,
                       std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompsvd_s::matrix not allocated");
  const std::optional<t_matrix> found =
      sweep_until_converged(a, tol, maxiter, {method, qr_tol, permute}, nullptr, nullptr,
                            "m_decompsvd_s::svd method diverge", "m_decompsvd_s::allocate error");
  if (!found) return m_svd_values(a);
  const t_matrix& r = *found;
  const std::int32_t count = std::min(a.rows, a.cols);
  t_vector values;
  v_init(values, count);
  for (std::int32_t i = 1; i <= count; ++i) {
    values.elements[static_cast<std::size_t>(i - 1)] = std::fabs(detail::at(r, i, i));
  }
  return values;
}

t_svd m_decompsvd(const t_matrix& a, std::optional<float> tol, std::optional<std::int32_t> maxiter,
                  std::optional<std::string_view> method, std::optional<float> qr_tol, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompsvd::matrix not allocated");
  const float eps = math_machine_eps();
  t_svd svd;
  const std::optional<t_matrix> found =
      sweep_until_converged(a, tol, maxiter, {method, qr_tol, permute}, &svd.U, &svd.V,
                            "m_decompsvd::svd method diverge", "m_decompsvd::allocate error");
  if (!found) return from_fast_svd(a, {method, qr_tol, permute});
  const t_matrix& r = *found;
  m_init(svd.S, a.rows, a.cols);
  for (std::int32_t c = 1; c <= std::min(a.rows, a.cols); ++c) {
    const float d = detail::at(r, c, c);
    detail::at(svd.S, c, c) = std::fabs(d);
    // A negative (or negligible) diagonal entry moves its sign into U.
    if (d < eps) {
      for (std::int32_t i = 1; i <= svd.U.rows; ++i) detail::at(svd.U, i, c) = -detail::at(svd.U, i, c);
    }
  }
  return svd;
}

}  // namespace orvik
