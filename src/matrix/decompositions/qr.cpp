// The QR dispatcher: the method text chooses Householder, re-orthogonalised
// or plain Gram-Schmidt.

#include <orvik/decompositions.hpp>

#include "matrix/decompositions/decompositions_internal.hpp"

namespace orvik {

t_qr m_decompqr(const t_matrix& a, std::optional<std::string_view> method, std::optional<float> qr_tol,
                std::optional<bool> permute) {
  if (detail::method_is(method, "ho")) return m_decompqr_householder(a, permute);
  if (detail::method_is(method, "gsro")) return m_decompqr_gramschimdt_reortho(a, qr_tol, permute);
  return m_decompqr_gramschimdt(a, permute);
}

std::optional<t_qr> detail::try_decompqr(const t_matrix& a, std::optional<std::string_view> method,
                                         std::optional<float> qr_tol, std::optional<bool> permute) {
  if (detail::method_is(method, "ho") || detail::method_is(method, "gsro")) {
    return m_decompqr(a, method, qr_tol, permute);
  }
  return detail::try_gram_schmidt(a, permute);
}

}  // namespace orvik
