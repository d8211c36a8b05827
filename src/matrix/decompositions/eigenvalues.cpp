// Eigenvalues: the shifted QR iteration with a fixed number of steps, and
// eigenpairs one by one by power iteration with deflation.

#include <orvik/decompositions.hpp>

#include "kernels/kernels.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <cmath>
#include <utility>
#include <vector>

namespace orvik {

t_vector m_eig_qr(const t_matrix& a, std::int32_t niter, std::optional<std::string_view> method,
                  std::optional<float> qr_tol, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_eig_qr::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_eig_qr:: square matrix expected", 202);
  const std::int32_t n = a.rows;
  t_matrix h = detail::checked_copy(a, "m_eig_qr::allocate error");
  const t_matrix identity = m_identity(n);
  // The shifted iterate and R * Q live in buffers made once; mu * I is
  // formed entry by entry as the scalar product of the identity stores it.
  t_matrix shifted = detail::checked_copy(h, "m_eig_qr::allocate error");
  std::vector<float> rq = detail::work_buffer(static_cast<std::int64_t>(h.elements.size()), "m_eig_qr::allocate error");
  const std::size_t count = h.elements.size();
  for (std::int32_t step = 1; step <= niter; ++step) {
    // The shift is taken afresh from the current iterate at every step.
    const float mu = detail::at(h, n, n);
    for (std::size_t t = 0; t < count; ++t) {
      const float shift = mu * identity.elements[t];
      shifted.elements[t] = h.elements[t] - shift;
    }
    t_qr f = m_decompqr(shifted, method, qr_tol, permute);
    kernels::prod_mat(f.R.elements.data(), f.Q.elements.data(), rq.data(), f.R.rows, f.R.cols, f.Q.cols);
    for (std::size_t t = 0; t < count; ++t) {
      const float shift = mu * identity.elements[t];
      h.elements[t] = rq[t] + shift;
    }
  }
  // The last temporaries of a step (mu * I and the sum) are n x n.
  if (niter >= 1) detail::m_remember_init_sizes(n, n);
  return m_diag(h);
}

t_eig m_eig_deflation(const t_matrix& a, const std::optional<t_vector>& x0, std::optional<float> tol,
                      std::optional<std::int32_t> maxiter) {
  // No allocation check here: an unallocated A is reported by m_pow_eig.
  if (a.rows != a.cols) detail::m_fail("m_eig_deflation:: square matrix expected", 202);
  const std::int32_t n = a.rows;
  t_matrix b = detail::checked_copy(a, "m_eig_deflation::allocate error");
  t_eig eig;
  v_init(eig.eigvals, n);
  m_init(eig.eigvecs, n, n);
  // A - lambda I and the residual, made once and refilled for every pair.
  t_matrix shifted = detail::checked_copy(a, "m_eig_deflation::allocate error");
  t_vector w = detail::checked_copy(eig.eigvals, "m_eig_deflation::allocate error");
  const auto count = static_cast<std::size_t>(n);
  t_poweig e;
  for (std::int32_t i = 1; i <= n; ++i) {
    {
      t_poweig next = m_pow_eig(b, x0, tol, maxiter);
      m_destruct_t_poweig(e);
      e = std::move(next);
    }
    const float lambda = e.eigval;
    const t_vector& v = e.eigvec;
    detail::at(eig.eigvals, i) = lambda;
    for (std::int32_t k = 1; k <= n; ++k) {
      detail::at(eig.eigvecs, k, i) = detail::at(v, k);
    }

    const float s = v_sqrlength(v);
    kernels::deflate_rank_one(b.elements.data(), n, lambda / s, v.elements.data());

    // The residual is measured against the input, not the working matrix:
    // lambda times the identity's entry is rounded, then the difference, as
    // the scalar product and the difference of matrices store them.
    for (std::size_t col = 0; col < count; ++col) {
      for (std::size_t row = 0; row < count; ++row) {
        const float shift = lambda * (row == col ? 1.0f : 0.0f);
        shifted.elements[col * count + row] = a.elements[col * count + row] - shift;
      }
    }
    kernels::prod_vec(shifted.elements.data(), v.elements.data(), w.elements.data(), n, n);
    // What lambda I, the difference and the product would have left.
    detail::m_remember_init_sizes(n, n);
    detail::v_remember_init_size(n);
    v_print(w);
  }
  m_destruct(b);
  m_destruct_t_poweig(e);
  return eig;
}

}  // namespace orvik
