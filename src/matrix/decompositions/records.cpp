// The release routines of the factorization records: each releases the
// storage of every member; a member never allocated is left as it is.

#include <orvik/decompositions.hpp>

namespace orvik {

void m_destruct_m_and_p(t_m_and_p& mp) {
  m_destruct(mp.M);
  m_destruct(mp.P);
}

void m_destruct_lu(t_lu& lu) {
  m_destruct(lu.L);
  m_destruct(lu.U);
  m_destruct(lu.P);
}

void m_destruct_qr(t_qr& qr) {
  m_destruct(qr.Q);
  m_destruct(qr.R);
  m_destruct(qr.P);
}

void m_destruct_t_svd(t_svd& svd) {
  m_destruct(svd.S);
  m_destruct(svd.V);
  m_destruct(svd.U);
}

void m_destruct_t_eig(t_eig& eig) {
  v_destruct(eig.eigvals);
  m_destruct(eig.eigvecs);
}

void m_destruct_t_poweig(t_poweig& pe) {
  v_destruct(pe.errors);
  v_destruct(pe.eigvec);
}

}  // namespace orvik
