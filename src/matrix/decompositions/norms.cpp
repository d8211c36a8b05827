// Matrix norms, the condition number and the trace.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>

namespace orvik {
namespace {

constexpr float most_negative = -std::numeric_limits<float>::max();

// The largest of the sums of |A| along each column (by_columns) or each row;
// each sum is a float rounded after every addition.
float largest_abs_sum(const t_matrix& a, bool by_columns) {
  const std::int32_t outer = by_columns ? a.cols : a.rows;
  const std::int32_t inner = by_columns ? a.rows : a.cols;
  float largest = most_negative;
  for (std::int32_t o = 1; o <= outer; ++o) {
    float s = 0.0f;
    for (std::int32_t t = 1; t <= inner; ++t) s = s + std::fabs(by_columns ? detail::at(a, t, o) : detail::at(a, o, t));
    if (s > largest) largest = s;
  }
  return largest;
}

// One fused chain over the elements, column after column (|v| |v| = v v).
float frobenius(const t_matrix& a) {
  float s = 0.0f;
  for (std::int32_t j = 1; j <= a.cols; ++j) {
    const float* column = a.elements.data() + static_cast<std::ptrdiff_t>(j - 1) * a.rows;
    s = kernels::dot(s, column, column, a.rows);
  }
  return std::sqrt(s);
}

float spectral(const t_matrix& a, float eps) {
  t_matrix b;
  if (a.rows < 1 || a.cols < 1) {
    // Without elements the transpose is refused by m_init: keep its stop.
    const t_matrix at = m_trans(a);
    b = m_prod_mat(at, a);
  } else {
    // B = A^T A by the product kernel reading A transposed in place; the
    // transpose and the product would leave m_init at n x n.
    detail::create_storage(b, a.cols, a.cols, "m_norm::allocate error");
    kernels::gemm(a.cols, a.cols, a.rows, {a.elements.data(), a.rows, 1}, {a.elements.data(), 1, a.rows},
                  b.elements.data(), a.cols, kernels::gemm_mode::assign);
    detail::m_remember_init_sizes(a.cols, a.cols);
  }
  std::optional<t_poweig> e = detail::try_pow_eig(b, std::nullopt, eps, 1000);
  // The power iteration does not settle when the two largest singular
  // values are close: the norm then comes from the fast SVD of the same
  // matrix (a finite one; any other keeps the stop).
  if (!e) {
    m_destruct(b);
    if (!detail::all_finite(a)) detail::m_fail(detail::pow_eig_diverge, 301);
    const t_vector values = m_svd_values(a);
    return detail::at(values, 1);
  }
  const float result = std::sqrt(std::fabs(e->eigval));
  m_destruct_t_poweig(*e);
  m_destruct(b);
  return result;
}

}  // namespace

float m_norm(const t_matrix& a, std::optional<std::int32_t> p) {
  detail::m_require_allocated(a, "m_norm::matrix not allocated");
  const float eps = math_machine_eps();
  switch (p.value_or(2)) {
    case 1:
      return largest_abs_sum(a, true);
    case 0:
      return largest_abs_sum(a, false);
    case -1:
      return frobenius(a);
    default:
      return spectral(a, eps);
  }
}

float m_cond(const t_matrix& a) {
  detail::m_require_allocated(a, "m_cond::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_inverse_gaussj::square matrix expected", 202);
  std::optional<t_matrix> inverse = detail::try_inverse_gaussj(a);
  if (!inverse) {
    // Gauss-Jordan refuses a pivot at most eps, on exactly the nearly
    // singular matrices whose condition number is asked for: for a finite
    // one it is sigma_1 / sigma_n of the fast SVD (infinite for a singular
    // one).
    if (!detail::all_finite(a)) detail::m_fail("m_inverse_gaussj::matrix is close to singular or badly scaled", 300);
    const t_vector s = m_svd_values(a);
    const float largest = s.elements.front();
    const float smallest = s.elements.back();
    if (smallest == 0.0f) return std::numeric_limits<float>::infinity();
    return largest / smallest;
  }
  t_matrix& x = *inverse;
  const float norm_inverse = m_norm(x, 2);
  const float norm_a = m_norm(a, 2);
  m_destruct(x);
  return norm_a * norm_inverse;
}

float m_trace(const t_matrix& a) {
  detail::m_require_allocated(a, "m_trace::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_trace::square matrix expected", 202);
  t_vector d = m_diag(a);
  const float result = v_sum(d);
  v_destruct(d);
  return result;
}

}  // namespace orvik
