#pragma once
// The reordering step that every factorization with a `permute` flag starts
// with.

#include <orvik/decompositions.hpp>

#include <cstdint>
#include <optional>
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

}  // namespace orvik::detail
