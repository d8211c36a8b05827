// The matrix-vector products: a x (prod_vec), eight columns at a time
// across y, and x^T a (prod_vec_left), whose outputs are the columns' chains
// of terms, run side by side in the lanes after a transpose in registers.
// Where x holds tiny values the transposed product takes careful steps with
// the same bits.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/matrix_vector.cpp"
#include "kernels/targets-inl.h"  // IWYU pragma: keep

#include "kernels/fast_kernels-inl.h"
#include "kernels/kernels.hpp"
#include "kernels/through_double-inl.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

#if ORVIK_FAST_TARGET

void prod_vec(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept {
  // Eight columns at a time sweep the whole of y, which stays in cache while
  // a streams through once; each y(i) takes its columns in order.
  const D d;
  const size_t N = hn::Lanes(d);
  const auto m = static_cast<size_t>(rows);
  const auto n = static_cast<size_t>(cols);
  std::fill_n(y, m, 0.0f);
  size_t j = 0;
  for (; j + 8 <= n; j += 8) {
    const float* col[8];
    V xv[8];
    for (size_t q = 0; q < 8; ++q) {
      col[q] = a + (j + q) * m;
      xv[q] = hn::Set(d, x[j + q]);
    }
    size_t i = 0;
    for (; i + N <= m; i += N) {
      V s = hn::LoadU(d, y + i);
      s = hn::MulAdd(hn::LoadU(d, col[0] + i), xv[0], s);
      s = hn::MulAdd(hn::LoadU(d, col[1] + i), xv[1], s);
      s = hn::MulAdd(hn::LoadU(d, col[2] + i), xv[2], s);
      s = hn::MulAdd(hn::LoadU(d, col[3] + i), xv[3], s);
      s = hn::MulAdd(hn::LoadU(d, col[4] + i), xv[4], s);
      s = hn::MulAdd(hn::LoadU(d, col[5] + i), xv[5], s);
      s = hn::MulAdd(hn::LoadU(d, col[6] + i), xv[6], s);
      s = hn::MulAdd(hn::LoadU(d, col[7] + i), xv[7], s);
      hn::StoreU(s, d, y + i);
    }
    for (; i < m; ++i) {
      float s = y[i];
      for (size_t q = 0; q < 8; ++q) s = std::fma(col[q][i], x[j + q], s);
      y[i] = s;
    }
  }
  for (; j < n; ++j) axpy<false>(y, x[j], a + j * m, m);
}

#if HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3

// The transposed product y(i) = sum over j of x(j) a(j, i) runs eight
// columns to a vector, one lane per column, so every eight rows of eight
// columns are transposed in registers. The step across the 128-bit halves
// is done by the loads (four rows of column k and of column k+4 into one
// vector); the two in-lane steps use the integer unpacks, which recent cores
// issue on two ports where the float ones have one. 256-bit vectors on
// AVX-512 too: its wide shuffles have a single port.
//
// p: row j of the first column, m: the column stride. Lane k of out[s] is
// row j+s of column k.
HWY_INLINE void left_rows(const float* p, size_t m, __m256 out[8]) {
  const float* p4 = p + 4 * m;
  const float* lo[4] = {p, p + m, p + 2 * m, p + 3 * m};
  const float* hi[4] = {p4, p4 + m, p4 + 2 * m, p4 + 3 * m};
  __m256i t[8];
#pragma GCC unroll 4
  for (size_t k = 0; k < 4; ++k) {
    t[k] =
        _mm256_castps_si256(_mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(lo[k])), _mm_loadu_ps(hi[k]), 1));
    t[k + 4] = _mm256_castps_si256(
        _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(lo[k] + 4)), _mm_loadu_ps(hi[k] + 4), 1));
  }
#pragma GCC unroll 2
  for (size_t h = 0; h < 8; h += 4) {
    const __m256i u0 = _mm256_unpacklo_epi32(t[h], t[h + 1]);
    const __m256i u1 = _mm256_unpackhi_epi32(t[h], t[h + 1]);
    const __m256i u2 = _mm256_unpacklo_epi32(t[h + 2], t[h + 3]);
    const __m256i u3 = _mm256_unpackhi_epi32(t[h + 2], t[h + 3]);
    out[h] = _mm256_castsi256_ps(_mm256_unpacklo_epi64(u0, u2));
    out[h + 1] = _mm256_castsi256_ps(_mm256_unpackhi_epi64(u0, u2));
    out[h + 2] = _mm256_castsi256_ps(_mm256_unpacklo_epi64(u1, u3));
    out[h + 3] = _mm256_castsi256_ps(_mm256_unpackhi_epi64(u1, u3));
  }
}

// y[0 .. 8G) for the 8G columns starting at a: G chains of eight lanes side
// by side, so that the latency of one chain's steps hides behind the
// transposes of the others. Rows past the last multiple of eight are added
// one by one at the end, still in order.
template <size_t G>
HWY_INLINE void left_columns(const float* HWY_RESTRICT x, const float* HWY_RESTRICT a, float* HWY_RESTRICT y, size_t m,
                             size_t ld) {
  const size_t m8 = m / 8 * 8;
  __m256 acc[G];
  for (auto& v : acc) v = _mm256_setzero_ps();
  for (size_t j = 0; j < m8; j += 8) {
    [&]<size_t... g>(std::index_sequence<g...>) {
      (
          [&] {
            const float* p = a + g * 8 * ld + j;
            // Keeps the compiler from turning each of the 8G column
            // addresses into a pointer of its own, more than there are
            // registers: one pointer per group and the stride suffice.
            __asm__("" : "+r"(p));
            __m256 r[8];
            left_rows(p, ld, r);
#pragma GCC unroll 8
            for (size_t s = 0; s < 8; ++s) acc[g] = _mm256_fmadd_ps(_mm256_broadcast_ss(x + j + s), r[s], acc[g]);
          }(),
          ...);
    }
    (std::make_index_sequence<G>{});
  }
  for (size_t g = 0; g < G; ++g) _mm256_storeu_ps(y + 8 * g, acc[g]);
  if (m8 == m) return;
  for (size_t i = 0; i < 8 * G; ++i) {
    float s = y[i];
    for (size_t j = m8; j < m; ++j) s = std::fma(x[j], a[i * ld + j], s);
    y[i] = s;
  }
}

// Some lane of v is tiny.
HWY_INLINE bool any_tiny_lane(__m256 v) {
  const __m256 magnitude = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), v);
  const __m256 below = _mm256_cmp_ps(magnitude, _mm256_set1_ps(detail::tiny_magnitude), _CMP_LT_OQ);
  return _mm256_movemask_ps(_mm256_and_ps(below, _mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_NEQ_OQ))) != 0;
}

// left_columns<1> where x has tiny values: the same steps in the same order.
// A zero x(j) adds the products a*0 (never assisted); a step whose operands
// and running sums are clear of the subnormal range is the instruction; a
// step of negligible products is add_negligible_products; any other goes
// through the double lanes.
//
// The thresholds (negligible_below(x(j))) are worked out once per call, and
// G groups of eight
// columns go side by side, so that one group's dependent steps overlap the
// others'.
template <size_t G>
HWY_INLINE void careful_left_columns(const float* HWY_RESTRICT below_x, const float* HWY_RESTRICT x,
                                     const float* HWY_RESTRICT a, float* HWY_RESTRICT y, size_t m, size_t ld,
                                     bool finite) {
  const size_t m8 = m / 8 * 8;
  const hn::Full256<float> d8;
  __m256 acc[G];
  bool tiny_acc[G];
  for (size_t g = 0; g < G; ++g) {
    acc[g] = _mm256_setzero_ps();
    tiny_acc[g] = false;
  }
  for (size_t j = 0; j < m8; j += 8) {
    __m256 r[G][8];
    for (size_t g = 0; g < G; ++g) left_rows(a + g * 8 * ld + j, ld, r[g]);
    for (size_t s = 0; s < 8; ++s) {
      const float xs = x[j + s];
      const __m256 vx = _mm256_set1_ps(xs);
      if (xs == 0.0f) {
        // acc + a*0 changes nothing when a is finite and acc holds no -0
        // (which a +0 product would turn into +0).
        for (size_t g = 0; g < G; ++g) {
          const __m256i negative_zero = _mm256_cmpeq_epi32(_mm256_castps_si256(acc[g]), _mm256_set1_epi32(INT32_MIN));
          if (!finite || _mm256_movemask_epi8(negative_zero) != 0) {
            acc[g] = _mm256_add_ps(acc[g], _mm256_mul_ps(vx, r[g][s]));
          }
        }
        continue;
      }
      const bool plain = below_x[j + s] == 0.0f;
      const __m256 below = _mm256_set1_ps(below_x[j + s]);
      for (size_t g = 0; g < G; ++g) {
        const __m256 v = r[g][s];
        if (plain && !tiny_acc[g] && !any_tiny_lane(v)) {
          acc[g] = _mm256_fmadd_ps(vx, v, acc[g]);
        } else if (_mm256_movemask_ps(_mm256_cmp_ps(_mm256_andnot_ps(_mm256_set1_ps(-0.0f), v), below, _CMP_LT_OQ)) ==
                   0xff) {
          acc[g] = add_negligible_products(d8, hn::Vec256<float>{v}, xs, hn::Vec256<float>{acc[g]}).raw;
        } else {
          acc[g] = fused_vector_through_double(d8, hn::Vec256<float>{v}, xs, hn::Vec256<float>{acc[g]}).raw;
          tiny_acc[g] = any_tiny_lane(acc[g]);
        }
      }
    }
  }
  for (size_t g = 0; g < G; ++g) _mm256_storeu_ps(y + 8 * g, acc[g]);
  for (size_t i = 0; i < 8 * G; ++i) {
    float t = y[i];
    for (size_t j = m8; j < m; ++j) t = fused_scalar(x[j], a[i * ld + j], t);
    y[i] = t;
  }
}

// x^T a where x holds tiny values: groups of 32, 16 or 8 columns, the last
// few columns with zero columns after them.
void careful_prod_vec_left(const float* x, const float* a, float* y, size_t m, size_t ld, size_t n) {
  const buffer below(m);
  const buffer padded(8 * m);
  if (!below.ok() || !padded.ok()) {
    for (size_t c = 0; c < n; ++c) {
      float t = 0.0f;
      for (size_t j = 0; j < m; ++j) t = fused_scalar(x[j], a[c * ld + j], t);
      y[c] = t;
    }
    return;
  }
  for (size_t j = 0; j < m; ++j) below.get()[j] = negligible_below(x[j]);
  // Whether a holds only finite values, so that a zero x(j) adds zeros.
  const D d;
  const size_t N = hn::Lanes(d);
  auto finite_lanes = hn::IsFinite(hn::Zero(d));
  bool finite = true;
  for (size_t k = 0; k < n; ++k) {
    const float* col = a + k * ld;
    size_t i = 0;
    for (; i + N <= m; i += N) finite_lanes = hn::And(finite_lanes, hn::IsFinite(hn::LoadU(d, col + i)));
    for (; i < m; ++i) finite = finite && std::isfinite(col[i]);
  }
  finite = finite && hn::AllTrue(d, finite_lanes);
  size_t c = 0;
  for (; c + 32 <= n; c += 32) careful_left_columns<4>(below.get(), x, a + c * ld, y + c, m, ld, finite);
  for (; c + 8 <= n; c += 8) careful_left_columns<1>(below.get(), x, a + c * ld, y + c, m, ld, finite);
  if (c == n) return;
  std::fill_n(padded.get(), 8 * m, 0.0f);
  for (size_t k = c; k < n; ++k) std::copy_n(a + k * ld, m, padded.get() + (k - c) * m);
  float out[8];
  careful_left_columns<1>(below.get(), x, padded.get(), out, m, m, finite);
  std::copy_n(out, n - c, y + c);
}

void prod_vec_left(const float* x, const float* a, std::ptrdiff_t lda, float* y, std::int32_t rows,
                   std::int32_t cols) noexcept {
  const auto ld = static_cast<size_t>(lda);
  const auto m = static_cast<size_t>(rows);
  const auto n = static_cast<size_t>(cols);
  if (kAvoidSubnormals && any_tiny(x, m)) {
    careful_prod_vec_left(x, a, y, m, ld, n);
    return;
  }
  // Four chains while the columns are short and in cache. Longer columns
  // stream from further out, and fewer columns at once keep the streams and
  // the lines of L1 they share (columns a power of two apart fall in the
  // same sets) within what the cache holds.
  size_t c = 0;
  if (m < 384) {
    for (; c + 32 <= n; c += 32) left_columns<4>(x, a + c * ld, y + c, m, ld);
  } else if (m < 768) {
    for (; c + 24 <= n; c += 24) left_columns<3>(x, a + c * ld, y + c, m, ld);
  }
  for (; c + 16 <= n; c += 16) left_columns<2>(x, a + c * ld, y + c, m, ld);
  if (c + 8 <= n) {
    left_columns<1>(x, a + c * ld, y + c, m, ld);
    c += 8;
  }
  if (c == n) return;
  // The last columns with zero columns after them, side by side, when the
  // room is had; one chain after another otherwise.
  if (const buffer padded(8 * m); padded.ok()) {
    std::fill_n(padded.get(), 8 * m, 0.0f);
    for (size_t k = c; k < n; ++k) std::copy_n(a + k * ld, m, padded.get() + (k - c) * m);
    float out[8];
    left_columns<1>(x, padded.get(), out, m, m);
    std::copy_n(out, n - c, y + c);
    return;
  }
  for (; c < n; ++c) {
    float s = 0.0f;
    for (size_t j = 0; j < m; ++j) s = std::fma(x[j], a[c * ld + j], s);
    y[c] = s;
  }
}

#else
void prod_vec_left(const float* x, const float* a, std::ptrdiff_t lda, float* y, std::int32_t rows,
                   std::int32_t cols) noexcept {
  const auto ld = static_cast<size_t>(lda);
  // Each y(i) is one column's chain of terms, so the chains of neighbouring
  // columns go side by side in the lanes: 4 x 4 blocks of a are transposed
  // in registers, and eight groups of four columns keep the pipeline full.
  const hn::Full128<float> d4;
  using V4 = hn::Vec<hn::Full128<float> >;
  const auto m = static_cast<size_t>(rows);
  const auto n = static_cast<size_t>(cols);
  constexpr size_t kGroups = 8;
  const size_t m4 = m / 4 * 4;
  size_t c = 0;
  for (; c + 4 * kGroups <= n; c += 4 * kGroups) {
    V4 acc[kGroups];
    for (auto& v : acc) v = hn::Zero(d4);
    for (size_t j = 0; j < m4; j += 4) {
      const V4 x0 = hn::Set(d4, x[j]);
      const V4 x1 = hn::Set(d4, x[j + 1]);
      const V4 x2 = hn::Set(d4, x[j + 2]);
      const V4 x3 = hn::Set(d4, x[j + 3]);
      for (size_t g = 0; g < kGroups; ++g) {
        V4 w[4];
        transposed_block(a + (c + 4 * g) * ld + j, ld, w);
        acc[g] = hn::MulAdd(w[0], x0, acc[g]);
        acc[g] = hn::MulAdd(w[1], x1, acc[g]);
        acc[g] = hn::MulAdd(w[2], x2, acc[g]);
        acc[g] = hn::MulAdd(w[3], x3, acc[g]);
      }
    }
    for (size_t g = 0; g < kGroups; ++g) hn::StoreU(acc[g], d4, y + c + 4 * g);
    for (size_t i = c; i < c + 4 * kGroups; ++i) {
      float s = y[i];
      for (size_t j = m4; j < m; ++j) s = std::fma(x[j], a[i * ld + j], s);
      y[i] = s;
    }
  }
  // Four independent chains for the last columns.
  for (; c + 4 <= n; c += 4) {
    const float* a0 = a + c * ld;
    const float* a1 = a0 + ld;
    const float* a2 = a1 + ld;
    const float* a3 = a2 + ld;
    float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
    for (size_t j = 0; j < m; ++j) {
      s0 = std::fma(x[j], a0[j], s0);
      s1 = std::fma(x[j], a1[j], s1);
      s2 = std::fma(x[j], a2[j], s2);
      s3 = std::fma(x[j], a3[j], s3);
    }
    y[c] = s0;
    y[c + 1] = s1;
    y[c + 2] = s2;
    y[c + 3] = s3;
  }
  for (; c < n; ++c) {
    float s = 0.0f;
    for (size_t j = 0; j < m; ++j) s = std::fma(x[j], a[c * ld + j], s);
    y[c] = s;
  }
}

#endif

#endif  // ORVIK_FAST_TARGET

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
