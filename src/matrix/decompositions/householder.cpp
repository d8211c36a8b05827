// QR by Householder reflections.
//
// Each reflection is formed as an explicit dense matrix and applied by full
// products, so the rounding of Q and R is that of m_prod_mat.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "matrix/decompositions/decompositions_internal.hpp"

#include <algorithm>
#include <cmath>

namespace orvik {

t_qr m_decompqr_householder(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompQR_HouseHolder::matrix not allocated");
  t_qr qr;
  qr.R = detail::pivoted_copy(a, permute, qr.P, qr.nb_permut);
  const float eps = math_machine_eps();
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  qr.Q = m_identity(m);

  for (std::int32_t k = 1; k <= std::min(m - 1, n); ++k) {
    const t_matrix x = m_extract(qr.R, k, m, k, k);
    const t_matrix xt = m_trans(x);
    const t_matrix xtx = m_prod_mat(xt, x);
    float alpha = std::sqrt(detail::at(xtx, 1, 1));
    // A zero first entry keeps the non-negative root.
    if (detail::at(x, 1, 1) < 0.0f) alpha = -alpha;

    t_matrix v = detail::checked_copy(x, "m_decompQR_HouseHolder::allocate error");
    detail::at(v, 1, 1) = detail::at(x, 1, 1) - alpha;
    const t_matrix vt = m_trans(v);
    const t_matrix vtv = m_prod_mat(vt, v);
    float t = detail::at(vtv, 1, 1);
    // The test is absolute: a tiny v is used as it is, and H stays within
    // eps of the identity.
    if (std::fabs(t) < eps) t = 1.0f;
    v = m_div_scalar(v, std::sqrt(t));

    const t_matrix identity = m_identity(m - k + 1);
    const t_matrix two_v = m_prod_scalar1(2.0f, v);
    const t_matrix v_row = m_trans(v);
    const t_matrix outer = m_prod_mat(two_v, v_row);
    const t_matrix h = m_minus(identity, outer);

    const t_matrix q_block = m_extract(qr.Q, 1, m, k, m);
    const t_matrix q_new = m_prod_mat(q_block, h);
    m_setsub(qr.Q, 1, m, k, m, q_new);

    const t_matrix r_block = m_extract(qr.R, k, m, k, n);
    const t_matrix r_new = m_prod_mat(h, r_block);
    m_setsub(qr.R, k, m, k, n, r_new);
  }
  return qr;
}

}  // namespace orvik
