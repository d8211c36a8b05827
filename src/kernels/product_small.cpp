// The products that need no packing: one column of c (a matrix times a
// vector, with strides) and products at most two vectors tall, as the
// factorizations' small steps make. Each output's terms in increasing
// order, one fused multiply-add each, from its start.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/product_small.cpp"
#include "kernels/targets-inl.h"  // IWYU pragma: keep

#include "kernels/fast_kernels-inl.h"
#include "kernels/kernels.hpp"
#include "kernels/through_double-inl.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

#if ORVIK_FAST_TARGET

// A product with one column and a column-major a (a matrix times a
// vector, with strides): the rows in stretches of four vectors held in
// registers while the terms go by in order, from 0.0 or from c. Where tiny
// values appear, the steps are careful ones.
template <bool kSubtract>
bool gemv(size_t m, size_t k, operand a, operand b, float* c, bool from_zero) {
  if (a.row_stride != 1) return false;
  const auto column = [&](size_t l) { return a.data + static_cast<ptrdiff_t>(l) * a.col_stride; };
  const auto term = [&](size_t l) { return b.data[static_cast<ptrdiff_t>(l) * b.row_stride]; };
  // The careful steps where a term of b (as the Gram-Schmidt columns of the
  // iterations' near-identity factors) or a start value is tiny.
  bool careful = false;
  if (kAvoidSubnormals) {
    if (b.row_stride == 1) {
      careful = any_tiny(b.data, k);
    } else {
      for (size_t l = 0; l < k && !careful; ++l) careful = detail::is_tiny(term(l));
    }
    careful = careful || (!from_zero && any_tiny(c, m));
  }
  const D d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  // W vectors of rows from i, side by side: W chains of steps. With
  // kPartial, the last one holds the last m - i - (W - 1) N rows only
  // (x86, masked loads); with kCareful the steps are careful ones.
  const auto rows = [&](auto width, auto partial, auto careful_steps) {
    constexpr size_t W = decltype(width)::value;
    constexpr bool kPartial = decltype(partial)::value;
    constexpr bool kCareful = decltype(careful_steps)::value;
    const size_t last = kPartial ? m - i - (W - 1) * N : N;
    const auto load = [&](const float* p, size_t q) {
      return kPartial && q == W - 1 ? load_tail(d, p + q * N, last) : hn::LoadU(d, p + q * N);
    };
    V acc[W];
    for (size_t q = 0; q < W; ++q) acc[q] = from_zero ? hn::Zero(d) : load(c + i, q);
    for (size_t l = 0; l < k; ++l) {
      const float* al = column(l) + i;
      if constexpr (kCareful) {
        const careful_factor factor(kSubtract ? -term(l) : term(l));
        for (size_t q = 0; q < W; ++q) acc[q] = careful_step(d, load(al, q), factor, acc[q]);
      } else {
        const V vb = hn::Set(d, term(l));
        for (size_t q = 0; q < W; ++q) acc[q] = step<kSubtract>(load(al, q), vb, acc[q]);
      }
    }
    for (size_t q = 0; q + (kPartial ? 1 : 0) < W; ++q) hn::StoreU(acc[q], d, c + i + q * N);
    if (kPartial) store_tail(d, acc[W - 1], c + i + (W - 1) * N, last);
    i = kPartial ? m : i + W * N;
  };
  // The last 1 .. 4 vectors of rows, as one group.
  const auto last_rows = [&](size_t count, auto partial, auto careful_steps) {
    switch (count) {
      case 4:
        rows(std::integral_constant<size_t, 4>{}, partial, careful_steps);
        break;
      case 3:
        rows(std::integral_constant<size_t, 3>{}, partial, careful_steps);
        break;
      case 2:
        rows(std::integral_constant<size_t, 2>{}, partial, careful_steps);
        break;
      default:
        rows(std::integral_constant<size_t, 1>{}, partial, careful_steps);
        break;
    }
  };
  const auto all_rows = [&](auto careful_steps) {
    while (i + 4 * N <= m) rows(std::integral_constant<size_t, 4>{}, std::false_type{}, careful_steps);
    const size_t left = m - i;
    if (kMaskedTails && left % N != 0) {
      last_rows((left + N - 1) / N, std::true_type{}, careful_steps);
    } else if (left >= N) {
      last_rows(left / N, std::false_type{}, careful_steps);
    }
  };
  // The careful steps run on x86 only, where every partial vector is a
  // masked one: nothing is left for the scalar loop below.
  if (kAvoidSubnormals && careful) {
    all_rows(std::true_type{});
    return true;
  }
  all_rows(std::false_type{});
  for (; i < m; ++i) {
    float s = from_zero ? 0.0f : c[i];
    for (size_t l = 0; l < k; ++l) s = step<kSubtract>(column(l)[i], term(l), s);
    c[i] = s;
  }
  return true;
}

// A product at most two vectors tall with a column-major a, as the
// factorizations' small steps make: no packing, four columns of c at a
// time, each column's terms in order. Where tiny values appear, the steps
// are those of the careful register tile. x86 only: the partial vectors are
// masked loads and stores, which other targets emulate with whole ones.
template <bool kSubtract>
bool gemm_small(size_t m, size_t n, size_t k, operand a, operand b, float* c, ptrdiff_t ldc, bool from_zero) {
  const D d;
  const size_t N = hn::Lanes(d);
  if (!kMaskedTails || m > 2 * N || a.row_stride != 1 || k > 64) return false;
  const size_t count0 = std::min(m, N);
  const size_t count1 = m - count0;
  const bool two = count1 > 0;
  const auto live0 = hn::FirstN(d, count0);
  const auto live1 = hn::FirstN(d, count1);
  const auto b_at = [&](size_t l, size_t j) {
    return b.data[static_cast<ptrdiff_t>(l) * b.row_stride + static_cast<ptrdiff_t>(j) * b.col_stride];
  };
  // The terms' columns of a, negated for a difference, and which hold tiny
  // values.
  V s0[64];
  V s1[64];
  bool tiny_a[64];
  bool careful = false;
  for (size_t l = 0; l < k; ++l) {
    const float* al = a.data + static_cast<ptrdiff_t>(l) * a.col_stride;
    const V a0 = hn::MaskedLoad(live0, d, al);
    const V a1 = two ? hn::MaskedLoad(live1, d, al + count0) : hn::Zero(d);
    s0[l] = kSubtract ? hn::Neg(a0) : a0;
    s1[l] = kSubtract ? hn::Neg(a1) : a1;
    tiny_a[l] = kAvoidSubnormals && (any_tiny(d, a0) || any_tiny(d, a1));
    careful = careful || tiny_a[l];
  }
  for (size_t j = 0; j < n && kAvoidSubnormals && !careful; ++j) {
    if (b.row_stride == 1) {
      careful = any_tiny(b.data + static_cast<ptrdiff_t>(j) * b.col_stride, k);
      continue;
    }
    for (size_t l = 0; l < k; ++l) careful = careful || detail::is_tiny(b_at(l, j));
  }
  size_t j = 0;
  // Column j + q of c into and out of its two vectors.
  const auto load_column = [&](size_t q, V& acc0, V& acc1) {
    const float* cj = c + static_cast<ptrdiff_t>(j + q) * ldc;
    acc0 = from_zero ? hn::Zero(d) : hn::MaskedLoad(live0, d, cj);
    acc1 = from_zero || !two ? hn::Zero(d) : hn::MaskedLoad(live1, d, cj + count0);
  };
  const auto store_column = [&](size_t q, V acc0, V acc1) {
    float* cj = c + static_cast<ptrdiff_t>(j + q) * ldc;
    hn::BlendedStore(acc0, live0, d, cj);
    if (two) hn::BlendedStore(acc1, live1, d, cj + count0);
  };
  const auto plain_columns = [&](auto width) {
    constexpr size_t W = decltype(width)::value;
    V acc0[W];
    V acc1[W];
    for (size_t q = 0; q < W; ++q) load_column(q, acc0[q], acc1[q]);
    for (size_t l = 0; l < k; ++l) {
      for (size_t q = 0; q < W; ++q) {
        const V vb = hn::Set(d, b_at(l, j + q));
        acc0[q] = hn::MulAdd(s0[l], vb, acc0[q]);
        if (two) acc1[q] = hn::MulAdd(s1[l], vb, acc1[q]);
      }
    }
    for (size_t q = 0; q < W; ++q) store_column(q, acc0[q], acc1[q]);
    j += W;
  };
  if (!careful) {
    while (j + 4 <= n) plain_columns(std::integral_constant<size_t, 4>{});
    while (j < n) plain_columns(std::integral_constant<size_t, 1>{});
    return true;
  }
  // The largest |a| (infinite where a is not finite), for the skip.
  V largest = hn::Zero(d);
  bool finite_a = true;
  for (size_t l = 0; l < k; ++l) {
    finite_a = finite_a && hn::AllTrue(d, hn::IsFinite(s0[l])) && hn::AllTrue(d, hn::IsFinite(s1[l]));
    largest = hn::Max(largest, hn::Max(hn::Abs(s0[l]), hn::Abs(s1[l])));
  }
  const double max_a = finite_a ? static_cast<double>(hn::GetLane(hn::MaxOfLanes(d, largest))) : HUGE_VAL;
  const auto columns = [&](auto width) {
    constexpr size_t W = decltype(width)::value;
    V acc0[W];
    V acc1[W];
    bool tiny_c[W];
    for (size_t q = 0; q < W; ++q) {
      load_column(q, acc0[q], acc1[q]);
      tiny_c[q] = any_tiny(d, acc0[q]) || any_tiny(d, acc1[q]);
    }
    for (size_t l = 0; l < k; ++l) {
      for (size_t q = 0; q < W; ++q) {
        const float bv = b_at(l, j + q);
        if (!tiny_c[q] && !tiny_a[l] && !detail::is_tiny(bv) && bv != 0.0f) {
          const V vb = hn::Set(d, bv);
          acc0[q] = hn::MulAdd(s0[l], vb, acc0[q]);
          if (two) acc1[q] = hn::MulAdd(s1[l], vb, acc1[q]);
        } else if (bv == 0.0f) {
          const V zero = hn::Set(d, bv);
          acc0[q] = hn::Add(acc0[q], hn::Mul(s0[l], zero));
          if (two) acc1[q] = hn::Add(acc1[q], hn::Mul(s1[l], zero));
        } else {
          if (detail::is_tiny(bv)) {
            // As in careful_tile: a product that cannot move c is skipped.
            const V vbound = hn::Set(d, unmoved_from(max_a, bv));
            if (finite_a && hn::AllTrue(d, hn::Ge(hn::Abs(acc0[q]), vbound)) &&
                (!two || hn::AllTrue(d, hn::Ge(hn::Abs(acc1[q]), vbound)))) {
              continue;
            }
          }
          acc0[q] = fused_vector_through_double(d, s0[l], bv, acc0[q]);
          if (two) acc1[q] = fused_vector_through_double(d, s1[l], bv, acc1[q]);
          tiny_c[q] = any_tiny(d, acc0[q]) || any_tiny(d, acc1[q]);
        }
      }
    }
    for (size_t q = 0; q < W; ++q) store_column(q, acc0[q], acc1[q]);
    j += W;
  };
  while (j + 4 <= n) columns(std::integral_constant<size_t, 4>{});
  while (j < n) columns(std::integral_constant<size_t, 1>{});
  return true;
}

bool small_product(size_t m, size_t n, size_t k, operand a, operand b, float* c, ptrdiff_t ldc, gemm_mode mode) {
  const bool from_zero = mode == gemm_mode::assign;
  if (n == 1) {
    return mode == gemm_mode::subtract ? gemv<true>(m, k, a, b, c, false) : gemv<false>(m, k, a, b, c, from_zero);
  }
  return mode == gemm_mode::subtract ? gemm_small<true>(m, n, k, a, b, c, ldc, false)
                                     : gemm_small<false>(m, n, k, a, b, c, ldc, from_zero);
}

#endif  // ORVIK_FAST_TARGET

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
