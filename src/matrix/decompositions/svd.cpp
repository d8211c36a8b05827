// Singular value decomposition by repeated QR factorization: factor R^T,
// factor the transposed triangular factor again, and so on until the part of
// R above its diagonal is negligible next to the diagonal.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "matrix/matrix_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

namespace orvik {
namespace {

struct qr_settings {
  std::optional<std::string_view> method;
  std::optional<float> qr_tol;
  std::optional<bool> permute;
};

// Runs the sweeps and returns the last triangular factor; with `u` and `v`
// given, accumulates the orthogonal factors of the two half-steps into them.
t_matrix sweep_until_converged(const t_matrix& a, std::optional<float> tol, std::optional<std::int32_t> maxiter,
                               const qr_settings& qr_args, t_matrix* u, t_matrix* v, std::string_view diverge) {
  const float eps = math_machine_eps();
  const float tolerance = tol.value_or(eps);
  // The default limit is held at the largest int32 for the tallest shapes.
  const std::int32_t limit = maxiter.value_or(static_cast<std::int32_t>(std::min<std::int64_t>(
      100 * static_cast<std::int64_t>(std::max(a.rows, a.cols)), std::numeric_limits<std::int32_t>::max())));

  t_matrix r = m_trans(a);
  if (u != nullptr) {
    *u = m_identity(a.rows);
    *v = m_identity(a.cols);
  }
  float err = 10000.0f;
  std::int64_t iter = 0;  // wide, so a limit at the largest int32 cannot overflow it
  // iter <= limit admits limit + 1 sweeps.
  while (err > tolerance && iter <= limit) {
    {
      const t_matrix rt = m_trans(r);
      t_qr f = m_decompqr(rt, qr_args.method, qr_args.qr_tol, qr_args.permute);
      r = std::exchange(f.R, t_matrix{});
      if (u != nullptr) *u = m_prod_mat(*u, f.Q);
      m_destruct_qr(f);
    }
    {
      const t_matrix rt = m_trans(r);
      t_qr f = m_decompqr(rt, qr_args.method, qr_args.qr_tol, qr_args.permute);
      r = std::exchange(f.R, t_matrix{});
      if (v != nullptr) *v = m_prod_mat(*v, f.Q);
      m_destruct_qr(f);
    }
    const t_matrix upper = m_triu(r, 1);
    const float e = m_norm(upper, -1);
    const t_vector diagonal = m_diag(r);
    float f = v_norm(diagonal);
    if (std::fabs(f) <= eps) f = 1.0f;
    err = e / f;
    ++iter;
  }
  // A NaN measure ends the loop too, and is not reported: only a measure
  // still above the tolerance means the limit stopped the iteration.
  if (err > tolerance) detail::m_fail(diverge, 301);
  return r;
}

}  // namespace

t_vector m_decompsvd_s(const t_matrix& a, std::optional<float> tol, std::optional<std::int32_t> maxiter,
                       std::optional<std::string_view> method, std::optional<float> qr_tol,
                       std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompsvd_s::matrix not allocated");
  const t_matrix r = sweep_until_converged(a, tol, maxiter, {method, qr_tol, permute}, nullptr, nullptr,
                                           "m_decompsvd_s::svd method diverge");
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
  const t_matrix r = sweep_until_converged(a, tol, maxiter, {method, qr_tol, permute}, &svd.U, &svd.V,
                                           "m_decompsvd::svd method diverge");
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
