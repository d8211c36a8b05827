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
// (declared below by topic)

}  // namespace orvik
