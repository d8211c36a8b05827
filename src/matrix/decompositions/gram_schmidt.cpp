// Gram-Schmidt QR: the plain sweep, which refuses a column that collapses
// while the rank says it may not, and the re-orthogonalising sweep, which
// repeats passes while a column keeps collapsing and turns a vanished column
// into zeros instead of failing. Both give the thin factor: Q m x n, R n x n.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

namespace orvik {
namespace {

void copy_column_to(const t_matrix& m, std::int32_t j, t_vector& v) {
  for (std::int32_t i = 1; i <= m.rows; ++i) detail::at(v, i) = detail::at(m, i, j);
}

// Q(., k) = g * (1 / length): one reciprocal, then one rounded product per entry.
void store_normalised(t_matrix& q, std::int32_t k, const t_vector& g, float length) {
  const float reciprocal = 1.0f / length;
  for (std::int32_t i = 1; i <= q.rows; ++i) {
    detail::at(q, i, k) = detail::at(g, i) * reciprocal;
  }
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

  t_vector g;
  t_vector u;
  v_init(g, m);
  v_init(u, m);
  bool exists = true;

  copy_column_to(w, 1, g);
  detail::at(qr.R, 1, 1) = v_norm(g, 2);
  if (detail::at(qr.R, 1, 1) <= eps) {
    exists = false;
  } else {
    store_normalised(qr.Q, 1, g, detail::at(qr.R, 1, 1));
  }

  for (std::int32_t k = 2; k <= n && exists; ++k) {
    copy_column_to(w, k, g);
    for (std::int32_t i = 1; i <= k - 1; ++i) {
      copy_column_to(qr.Q, i, u);
      // The coefficient comes from the partly reduced g (modified sweep).
      const float coefficient = v_dot(g, u);
      detail::at(qr.R, i, k) = coefficient;
      const t_vector projection = v_prod_scalar2(coefficient, u);
      g = v_minus(g, projection);
    }
    // Columns past the rank keep a zero R(k, k) and a zero Q(., k).
    if (rank >= static_cast<float>(k)) {
      detail::at(qr.R, k, k) = v_norm(g, 2);
      if (detail::at(qr.R, k, k) <= eps) {
        exists = false;
      } else {
        store_normalised(qr.Q, k, g, detail::at(qr.R, k, k));
      }
    }
  }
  m_destruct(w);
  v_destruct(g);
  v_destruct(u);
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

  for (std::int32_t k = 1; k <= n; ++k) {
    float previous = 0.0f;
    {
      const t_matrix column = m_extract(qr.Q, 1, m, k, k);
      previous = m_norm(column, -1);
    }
    float length = 0.0f;
    for (;;) {
      for (std::int32_t i = 1; i <= k - 1; ++i) {
        const t_matrix qi = m_extract(qr.Q, 1, m, i, i);
        const t_matrix qk = m_extract(qr.Q, 1, m, k, k);
        const t_matrix qi_row = m_trans(qi);
        const t_matrix dot = m_prod_mat(qi_row, qk);
        const float c = detail::at(dot, 1, 1);
        detail::at(qr.R, i, k) = detail::at(qr.R, i, k) + c;
        const t_matrix projection = m_prod_scalar1(c, qi);
        const t_matrix reduced = m_minus(qk, projection);
        m_setsub(qr.Q, 1, m, k, k, reduced);
      }
      {
        const t_matrix qk = m_extract(qr.Q, 1, m, k, k);
        const t_vector flat = m_matrixtovector(qk);
        length = v_norm(flat);
      }
      const float floor = 10.0f * tol * previous;
      if (length > floor && length < previous / 10.0f) {
        previous = length;
        continue;
      }
      if (length < floor) length = 0.0f;
      break;
    }
    detail::at(qr.R, k, k) = length;
    // The scale is zero exactly when the column vanished. (Testing the
    // product length * tol instead would zero every column for a tol of 0.)
    const float scale = length == 0.0f ? 0.0f : 1.0f / length;
    const t_matrix qk = m_extract(qr.Q, 1, m, k, k);
    const t_matrix scaled = m_prod_scalar1(scale, qk);
    m_setsub(qr.Q, 1, m, k, k, scaled);
  }
  return qr;
}

}  // namespace orvik
