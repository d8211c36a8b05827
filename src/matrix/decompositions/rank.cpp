// The rank front end and the rank by singular values (the Gauss-Jordan one
// lives with the elimination).

#include <orvik/decompositions.hpp>

#include "matrix/decompositions/decompositions_internal.hpp"

namespace orvik {

std::int32_t m_rank(const t_matrix& a, std::optional<float> tol, std::optional<std::string_view> method,
                    std::optional<float> svd_tol, std::optional<std::int32_t> svd_maxiter,
                    std::optional<std::string_view> qr_method, std::optional<float> qr_tol,
                    std::optional<bool> permute) {
  if (detail::method_is(method, "svd")) return m_rank_svd(a, tol, svd_tol, svd_maxiter, qr_method, qr_tol, permute);
  return m_rank_gaussj(a);
}

std::int32_t m_rank_svd(const t_matrix& a, std::optional<float> tol, std::optional<float> svd_tol,
                        std::optional<std::int32_t> svd_maxiter, std::optional<std::string_view> qr_method,
                        std::optional<float> qr_tol, std::optional<bool> permute) {
  t_vector s = m_decompsvd_s(a, svd_tol, svd_maxiter, qr_method, qr_tol, permute);
  const float threshold = tol.value_or(1.0e-8f);
  std::int32_t rank = 0;
  for (const float value : s.elements) {
    if (value > threshold) ++rank;
  }
  v_destruct(s);
  return rank;
}

}  // namespace orvik
