#pragma once
// What the factorizations share: the reordering step every factorization
// with a `permute` flag starts with, row and column exchanges, the method
// texts of the dispatchers and the sign of a permutation.

#include <orvik/decompositions.hpp>

#include "kernels/kernels.hpp"
#include "matrix/matrix_internal.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace orvik::detail {

// A copy of `a`, its rows reordered by m_permut when `permute` is present and
// true. The permutation matrix and the exchange count go to `p` and
// `nb_permut`; without reordering `p` stays unallocated and the count 0.
inline t_matrix pivoted_copy(const t_matrix& a, std::optional<bool> permute, t_matrix& p, std::int32_t& nb_permut) {
  t_m_and_p mp = m_permut(a, permute);
  p = std::move(mp.P);
  nb_permut = mp.nb_permut;
  return std::move(mp.M);
}

// Rows i and p of m change places (all columns); nothing is combined.
inline void exchange_rows(t_matrix& m, std::int32_t i, std::int32_t p) {
  for (std::int32_t j = 1; j <= m.cols; ++j) std::swap(at(m, i, j), at(m, p, j));
}

// Columns j and p of m change places.
inline void exchange_cols(t_matrix& m, std::int32_t j, std::int32_t p) {
  for (std::int32_t i = 1; i <= m.rows; ++i) std::swap(at(m, i, j), at(m, i, p));
}

// The method texts of the dispatchers: trailing blanks do not count, letter
// case does.
inline bool method_is(std::optional<std::string_view> method, std::string_view name) {
  if (!method) return false;
  std::string_view text = *method;
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text == name;
}

// (-1)^nb_permut applied exactly, only when pivoting was asked for.
inline float with_permutation_sign(float d, std::optional<bool> permute, std::int32_t nb_permut) {
  if (permute.value_or(false) && nb_permut % 2 != 0) return -d;
  return d;
}

// The Gauss-Jordan inverse of m_inverse_gaussj, for an allocated square a,
// with the same effects, but nothing instead of its stop where a pivot is at
// most eps (gauss_jordan.cpp).
std::optional<t_matrix> try_inverse_gaussj(const t_matrix& a);

// LU with partial pivoting of the square w in place, as m_solve factors: at
// every column the row of largest magnitude (the lowest on a tie) becomes
// the pivot row, and the same exchanges and eliminations are applied to the
// `nrhs` columns at x (w.rows values each). A column that is zero from its
// diagonal down stops with (singular, 300) when `singular` is not empty, and
// is passed over otherwise. Gives the number of row exchanges.
std::int32_t eliminate_with_partial_pivoting(t_matrix& w, float* x, std::int32_t nrhs, std::string_view singular);

// Plain Gram-Schmidt's 305 message, which the SVD's sweeps report too.
inline constexpr std::string_view gram_schmidt_refused = "m_decompQR_GramSchimdt::QR decomposition not exist";

// m_decompqr_gramschimdt with the same effects, but nothing instead of its
// 305 stop where a column collapses (gram_schmidt.cpp).
std::optional<t_qr> try_gram_schmidt(const t_matrix& a, std::optional<bool> permute);

// m_decompqr with the same effects, but nothing where plain Gram-Schmidt
// would stop with 305 (qr.cpp).
std::optional<t_qr> try_decompqr(const t_matrix& a, std::optional<std::string_view> method, std::optional<float> qr_tol,
                                 std::optional<bool> permute);

// m_pow_eig's 301 message, which the spectral norm reports too.
inline constexpr std::string_view pow_eig_diverge = "m_pow_eig::power eig method diverge";

// m_pow_eig with the same checks and effects, but nothing instead of its
// 301 stop (power.cpp).
std::optional<t_poweig> try_pow_eig(const t_matrix& a, const std::optional<t_vector>& x0, std::optional<float> tol,
                                    std::optional<std::int32_t> maxiter);

// Solves U x = y in place for the upper triangle of the n x n block at u
// (column-major, leading dimension ld): x(i) = (y(i) - sum over j > i of
// U(i, j) x(j)) / U(i, i), the terms in increasing j, one fused step each.
inline void back_substitute(const float* u, std::ptrdiff_t ld, std::int32_t n, float* x) {
  for (std::int32_t i = n; i >= 1; --i) {
    const float* row = u + (i - 1);
    const float s =
        i < n ? kernels::subtract_products(x[i - 1], row + static_cast<std::ptrdiff_t>(i) * ld, ld, x + i, 1, n - i)
              : x[i - 1];
    x[i - 1] = s / row[static_cast<std::ptrdiff_t>(i - 1) * ld];
  }
}

}  // namespace orvik::detail
