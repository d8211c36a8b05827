// QR by Householder reflections.
//
// Each reflection is formed as an explicit dense matrix and applied by full
// products, so the rounding of Q and R is that of m_prod_mat. The steps work
// in place on Q and R through a few buffers sized once for the first (the
// largest) step; every value that the written-out operations would store as
// a temporary is rounded here at the same point.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/columns.hpp"
#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

namespace orvik {
namespace {

std::size_t offset(std::int32_t i, std::int32_t j, std::int32_t rows) {
  return static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i - 1);
}

// Copies the block of rows i0.. (count rows) and `cols` columns from j0 of
// `from` (leading dimension ld) into the contiguous `to`, or back.
void gather(const float* from, std::int32_t ld, float* to, std::int32_t count, std::int32_t cols) {
  for (std::int32_t j = 0; j < cols; ++j) {
    std::memcpy(to + static_cast<std::size_t>(j) * static_cast<std::size_t>(count),
                from + static_cast<std::size_t>(j) * static_cast<std::size_t>(ld), sizeof(float) * count);
  }
}
void scatter(const float* from, float* to, std::int32_t ld, std::int32_t count, std::int32_t cols) {
  for (std::int32_t j = 0; j < cols; ++j) {
    std::memcpy(to + static_cast<std::size_t>(j) * static_cast<std::size_t>(ld),
                from + static_cast<std::size_t>(j) * static_cast<std::size_t>(count), sizeof(float) * count);
  }
}

}  // namespace

t_qr m_decompqr_householder(const t_matrix& a, std::optional<bool> permute) {
  detail::m_require_allocated(a, "m_decompQR_HouseHolder::matrix not allocated");
  t_qr qr;
  qr.R = detail::pivoted_copy(a, permute, qr.P, qr.nb_permut);
  const float eps = math_machine_eps();
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  qr.Q = m_identity(m);
  const std::int32_t steps = std::min(m - 1, n);
  if (steps < 1) return qr;

  constexpr std::string_view refused = "m_decompQR_HouseHolder::allocate error";
  const auto mm = static_cast<std::int64_t>(m);
  std::vector<float> v = detail::work_buffer(mm, refused);
  std::vector<float> two_v = detail::work_buffer(mm, refused);
  std::vector<float> h = detail::work_buffer(mm * mm, refused);
  // The product's result cannot overwrite its operand, so each block goes
  // through a buffer: Q's block is contiguous and is read in place, R's is
  // gathered first.
  std::vector<float> product = detail::work_buffer(mm * std::max(m, n), refused);
  std::vector<float> r_block = detail::work_buffer(mm * n, refused);
  float* q = qr.Q.elements.data();
  float* r = qr.R.elements.data();

  for (std::int32_t k = 1; k <= steps; ++k) {
    const std::int32_t mk = m - k + 1;
    const std::int32_t nk = n - k + 1;
    const float* x = r + offset(k, k, m);
    // x^T x and v^T v are 1 x 1 products: one fused chain from 0. (A row
    // and a column of the same values have the same storage.)
    float s = 0.0f;
    kernels::prod_mat(x, x, &s, 1, mk, 1);
    float alpha = std::sqrt(s);
    // A zero first entry keeps the non-negative root.
    if (x[0] < 0.0f) alpha = -alpha;

    std::copy_n(x, mk, v.begin());
    v[0] = x[0] - alpha;
    float t = 0.0f;
    kernels::prod_mat(v.data(), v.data(), &t, 1, mk, 1);
    // The test is absolute: a tiny v is used as it is, and H stays within
    // eps of the identity.
    if (std::fabs(t) < eps) t = 1.0f;
    kernels::divide_in_place(v.data(), std::sqrt(t), mk);

    // H = I - (2 v) v^T: the outer product (a product with one term per
    // element), then its difference from the identity.
    kernels::scale_into(two_v.data(), v.data(), 2.0f, mk);
    kernels::identity_minus_outer(h.data(), two_v.data(), v.data(), mk);

    // Q(1..m, k..m) = Q(1..m, k..m) * H.
    float* q_block = q + offset(1, k, m);
    kernels::prod_mat(q_block, h.data(), product.data(), m, mk, mk);
    std::copy_n(product.data(), mm * static_cast<std::size_t>(mk), q_block);

    // R(k..m, k..n) = H * R(k..m, k..n).
    float* r_corner = r + offset(k, k, m);
    gather(r_corner, m, r_block.data(), mk, nk);
    kernels::prod_mat(h.data(), r_block.data(), product.data(), mk, mk, nk);
    scatter(product.data(), r_corner, m, mk, nk);
  }
  // What the last step's temporaries leave: the extraction of R(k..m, k..n)
  // and the product H * R(k..m, k..n).
  detail::m_remember_extract_bounds(steps, m, steps, n);
  detail::m_remember_init_sizes(m - steps + 1, n - steps + 1);
  return qr;
}

}  // namespace orvik
