#pragma once
// Factorization records of the matrix module and the operations of
// pivoting, LU, Cholesky, Gauss-Jordan elimination, power iteration, norms,
// condition number and trace.

#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <cstdint>
#include <optional>

namespace orvik {

// A matrix with the permutation that produced it.
struct t_m_and_p {
  t_matrix M;
  t_matrix P;  // allocated only when pivoting was requested
  std::int32_t nb_permut = 0;
};

struct t_lu {
  t_matrix L;
  t_matrix U;
  t_matrix P;  // allocated only when pivoting was requested
  std::int32_t nb_permut = 0;
};

struct t_qr {
  t_matrix Q;
  t_matrix R;
  t_matrix P;  // allocated only when pivoting was requested
  std::int32_t nb_permut = 0;
};

struct t_svd {
  t_matrix S;
  t_matrix V;
  t_matrix U;
};

struct t_eig {
  t_vector eigvals;
  t_matrix eigvecs;
};

struct t_poweig {
  float eigval = 0.0f;
  t_vector eigvec;
  t_vector errors;
  std::int32_t nb_iter = 0;
};

void m_destruct_m_and_p(t_m_and_p& mp);
void m_destruct_lu(t_lu& lu);
void m_destruct_qr(t_qr& qr);
void m_destruct_t_svd(t_svd& svd);
void m_destruct_t_eig(t_eig& eig);
void m_destruct_t_poweig(t_poweig& pe);

// --- permutation, LU, Cholesky, Gauss-Jordan, power iteration, norms -----------
// `permute` omitted counts as false: M is a plain copy, P stays unallocated.

// Rows reordered by the magnitude of their entries, column by column for
// every target row; M = P*A.
t_m_and_p m_permut(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// The column twin: M = A*P.
t_m_and_p m_permut_col(const t_matrix& a, std::optional<bool> permute = std::nullopt);

// P*A = L*U with L unit lower triangular, rows(A) x min, and U min x cols(A).
t_lu m_decomplu(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// The same factors packed into M (U on and above the diagonal, L's
// multipliers below it).
t_m_and_p m_decomplu_m(const t_matrix& a, std::optional<bool> permute = std::nullopt);

// L*L^T = (P*)A for a symmetric positive definite A; only the lower
// triangle is read.
t_m_and_p m_decompcholesky(const t_matrix& a, std::optional<bool> permute = std::nullopt);

// Gauss-Jordan elimination with partial pivoting, absolute tolerance
// math_machine_eps.
t_matrix m_inverse_gaussj(const t_matrix& a);
float m_det_gaussj(const t_matrix& a);
std::int32_t m_rank_gaussj(const t_matrix& a);

// Power iteration. x0 omitted: ones; tol omitted: math_machine_eps;
// maxiter omitted: 100 * max(rows, cols).
t_poweig m_pow_eig(const t_matrix& a, const std::optional<t_vector>& x0 = std::nullopt,
                   std::optional<float> tol = std::nullopt, std::optional<std::int32_t> maxiter = std::nullopt);

// p = 1 column sums, 0 row sums, -1 Frobenius, 2 (or omitted, or anything
// else) spectral.
float m_norm(const t_matrix& a, std::optional<std::int32_t> p = std::nullopt);
// ||A||_2 * ||A^-1||_2 with the Gauss-Jordan inverse.
float m_cond(const t_matrix& a);
float m_trace(const t_matrix& a);

}  // namespace orvik
