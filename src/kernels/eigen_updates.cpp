// The fast versions of the eigenvalue routines' updates (kernels.hpp),
// compiled for every fast target (targets-inl.h), with the tridiagonal QL
// iteration from the shared scalar source tridiagonal_ql-inl.h. Vectors
// run across rows, each element meets the steps of its reference loop in
// the same order, so the bits are the reference's.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/eigen_updates.cpp"
#include "kernels/targets-inl.h"  // IWYU pragma: keep

#include "kernels/fast_kernels-inl.h"
#include "kernels/kernels.hpp"

#include "common/power_of_two.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

// Every pass includes it, so that its guard flips with each target.
#include "kernels/tridiagonal_ql-inl.h"

#if ORVIK_FAST_TARGET

namespace {

// y(r) = fma(-q(r), g, fma(-p(r), f, y(r))) for r < count.
HWY_INLINE void two_steps(float* HWY_RESTRICT y, const float* HWY_RESTRICT p, float f, const float* HWY_RESTRICT q,
                          float g, std::ptrdiff_t count) {
  const D d;
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(d));
  const V vf = hn::Set(d, f);
  const V vg = hn::Set(d, g);
  std::ptrdiff_t r = 0;
  for (; r + 2 * N <= count; r += 2 * N) {
    const V y0 = hn::NegMulAdd(hn::LoadU(d, p + r), vf, hn::LoadU(d, y + r));
    const V y1 = hn::NegMulAdd(hn::LoadU(d, p + r + N), vf, hn::LoadU(d, y + r + N));
    hn::StoreU(hn::NegMulAdd(hn::LoadU(d, q + r), vg, y0), d, y + r);
    hn::StoreU(hn::NegMulAdd(hn::LoadU(d, q + r + N), vg, y1), d, y + r + N);
  }
  for (; r + N <= count; r += N) {
    const V y0 = hn::NegMulAdd(hn::LoadU(d, p + r), vf, hn::LoadU(d, y + r));
    hn::StoreU(hn::NegMulAdd(hn::LoadU(d, q + r), vg, y0), d, y + r);
  }
  for (; r < count; ++r) y[r] = std::fma(-q[r], g, std::fma(-p[r], f, y[r]));
}

// The rotations of a stretch of K vectors of rows: the column a rotation
// leaves behind stays in registers for the next one, so every element is
// loaded and stored once.
template <std::size_t K>
HWY_INLINE void rotate_rows(float* z, std::ptrdiff_t ldz, std::int32_t count, const float* c, const float* s,
                            bool forward) {
  const D d;
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(d));
  V carry[K];
  if (forward) {
    for (std::size_t k = 0; k < K; ++k) carry[k] = hn::LoadU(d, z + static_cast<std::ptrdiff_t>(k) * N);
    for (std::int32_t j = 0; j < count; ++j) {
      const V vc = hn::Set(d, c[j]);
      const V vs = hn::Set(d, s[j]);
      float* lo = z + static_cast<std::ptrdiff_t>(j) * ldz;
      float* hi = lo + ldz;
      for (std::size_t k = 0; k < K; ++k) {
        const auto off = static_cast<std::ptrdiff_t>(k) * N;
        const V h = hn::LoadU(d, hi + off);
        hn::StoreU(hn::MulAdd(vs, h, hn::Mul(vc, carry[k])), d, lo + off);
        carry[k] = hn::NegMulAdd(vs, carry[k], hn::Mul(vc, h));
      }
    }
    float* last = z + static_cast<std::ptrdiff_t>(count) * ldz;
    for (std::size_t k = 0; k < K; ++k) hn::StoreU(carry[k], d, last + static_cast<std::ptrdiff_t>(k) * N);
    return;
  }
  float* last = z + static_cast<std::ptrdiff_t>(count) * ldz;
  for (std::size_t k = 0; k < K; ++k) carry[k] = hn::LoadU(d, last + static_cast<std::ptrdiff_t>(k) * N);
  for (std::int32_t j = count - 1; j >= 0; --j) {
    const V vc = hn::Set(d, c[j]);
    const V vs = hn::Set(d, s[j]);
    float* lo = z + static_cast<std::ptrdiff_t>(j) * ldz;
    float* hi = lo + ldz;
    for (std::size_t k = 0; k < K; ++k) {
      const auto off = static_cast<std::ptrdiff_t>(k) * N;
      const V l = hn::LoadU(d, lo + off);
      hn::StoreU(hn::NegMulAdd(vs, l, hn::Mul(vc, carry[k])), d, hi + off);
      carry[k] = hn::MulAdd(vs, carry[k], hn::Mul(vc, l));
    }
  }
  for (std::size_t k = 0; k < K; ++k) hn::StoreU(carry[k], d, z + static_cast<std::ptrdiff_t>(k) * N);
}

// One row, as the reference loop rotates it.
void rotate_one_row(float* z, std::ptrdiff_t ldz, std::int32_t count, const float* c, const float* s, bool forward) {
  for (std::int32_t t = 0; t < count; ++t) {
    const std::int32_t j = forward ? t : count - 1 - t;
    float* lo = z + static_cast<std::ptrdiff_t>(j) * ldz;
    float* hi = lo + ldz;
    const float l = *lo;
    const float h = *hi;
    *lo = std::fma(s[j], h, c[j] * l);
    *hi = std::fma(-s[j], l, c[j] * h);
  }
}

}  // namespace

void symmetric_rank_two(float* a, std::ptrdiff_t lda, std::int32_t m, const float* v, const float* w) noexcept {
  for (std::ptrdiff_t c = 0; c < m; ++c) {
    float* ac = a + c * lda;
    // Above the diagonal the (v, w) product first, from it down the (w, v)
    // one: the two triangles receive the same products in the same order.
    two_steps(ac, v, w[c], w, v[c], c);
    two_steps(ac + c, w + c, v[c], v + c, w[c], m - c);
  }
}

void rotate_eigenvectors(float* z, std::ptrdiff_t ldz, std::int32_t rows, std::int32_t count, const float* c,
                         const float* s, bool forward) noexcept {
  if (count <= 0 || rows <= 0) return;
  const D d;
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(d));
  std::ptrdiff_t i = 0;
  for (; i + kTallStretch * N <= rows; i += kTallStretch * N) {
    rotate_rows<kTallStretch>(z + i, ldz, count, c, s, forward);
  }
  for (; i + 8 * N <= rows; i += 8 * N) rotate_rows<8>(z + i, ldz, count, c, s, forward);
  for (; i + 4 * N <= rows; i += 4 * N) rotate_rows<4>(z + i, ldz, count, c, s, forward);
  for (; i + N <= rows; i += N) rotate_rows<1>(z + i, ldz, count, c, s, forward);
  for (; i < rows; ++i) rotate_one_row(z + i, ldz, count, c, s, forward);
}

void reflect_columns(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t nr, const float* f) noexcept {
  const D d;
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(d));
  const V v2 = hn::Set(d, f[0]);
  const V v3 = hn::Set(d, f[1]);
  const V t1 = hn::Set(d, f[2]);
  const V t2 = hn::Set(d, f[3]);
  const V t3 = hn::Set(d, f[4]);
  float* x1 = x;
  float* x2 = x + ld;
  float* x3 = x + 2 * ld;
  std::ptrdiff_t i = 0;
  if (nr == 3) {
    for (; i + N <= rows; i += N) {
      const V a = hn::LoadU(d, x1 + i);
      const V b = hn::LoadU(d, x2 + i);
      const V c = hn::LoadU(d, x3 + i);
      const V s = hn::MulAdd(v3, c, hn::MulAdd(v2, b, a));
      hn::StoreU(hn::NegMulAdd(s, t1, a), d, x1 + i);
      hn::StoreU(hn::NegMulAdd(s, t2, b), d, x2 + i);
      hn::StoreU(hn::NegMulAdd(s, t3, c), d, x3 + i);
    }
    for (; i < rows; ++i) {
      const float s = std::fma(f[1], x3[i], std::fma(f[0], x2[i], x1[i]));
      x1[i] = std::fma(-s, f[2], x1[i]);
      x2[i] = std::fma(-s, f[3], x2[i]);
      x3[i] = std::fma(-s, f[4], x3[i]);
    }
    return;
  }
  for (; i + N <= rows; i += N) {
    const V a = hn::LoadU(d, x1 + i);
    const V b = hn::LoadU(d, x2 + i);
    const V s = hn::MulAdd(v2, b, a);
    hn::StoreU(hn::NegMulAdd(s, t1, a), d, x1 + i);
    hn::StoreU(hn::NegMulAdd(s, t2, b), d, x2 + i);
  }
  for (; i < rows; ++i) {
    const float s = std::fma(f[0], x2[i], x1[i]);
    x1[i] = std::fma(-s, f[2], x1[i]);
    x2[i] = std::fma(-s, f[3], x2[i]);
  }
}

// Across a row the values are ld apart: the plain loop, its steps the
// processor's fused instruction.
void reflect_rows(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t nr, const float* f) noexcept {
  if (nr == 3) {
    for (std::ptrdiff_t j = 0; j < cols; ++j) {
      float* p = x + j * ld;
      const float s = std::fma(f[1], p[2], std::fma(f[0], p[1], p[0]));
      p[0] = std::fma(-s, f[2], p[0]);
      p[1] = std::fma(-s, f[3], p[1]);
      p[2] = std::fma(-s, f[4], p[2]);
    }
    return;
  }
  for (std::ptrdiff_t j = 0; j < cols; ++j) {
    float* p = x + j * ld;
    const float s = std::fma(f[0], p[1], p[0]);
    p[0] = std::fma(-s, f[2], p[0]);
    p[1] = std::fma(-s, f[3], p[1]);
  }
}

// A sequence of reflectors over G vectors side by side (each step is a
// chain of dependent fused steps, whose latency the other vectors' steps
// hide): the three rows (or columns) a reflector mixes stay in registers,
// so that each is read with load(t, g) and written with store(v, t, g)
// once for the sequence, t the offset along the sequence and g the vector.
template <std::ptrdiff_t G, class Load, class Store>
HWY_INLINE void reflect_sequence(std::int32_t count, const float* f, const Load& load, const Store& store) {
  const D d;
  V a[G];
  V b[G];
  for (std::ptrdiff_t g = 0; g < G; ++g) {
    a[g] = load(0, g);
    b[g] = load(1, g);
  }
  for (std::ptrdiff_t t = 0; t < count; ++t) {
    const float* ft = f + 5 * t;
    const V v2 = hn::Set(d, ft[0]);
    const V v3 = hn::Set(d, ft[1]);
    const V t1 = hn::Set(d, ft[2]);
    const V t2 = hn::Set(d, ft[3]);
    const V t3 = hn::Set(d, ft[4]);
    for (std::ptrdiff_t g = 0; g < G; ++g) {
      const V c = load(t + 2, g);
      const V s = hn::MulAdd(v3, c, hn::MulAdd(v2, b[g], a[g]));
      store(hn::NegMulAdd(s, t1, a[g]), t, g);
      a[g] = hn::NegMulAdd(s, t2, b[g]);
      b[g] = hn::NegMulAdd(s, t3, c);
    }
  }
  for (std::ptrdiff_t g = 0; g < G; ++g) {
    store(a[g], count, g);
    store(b[g], count + 1, g);
  }
}

// Rows i .. i + G N - 1 of columns t, loaded whole.
template <std::ptrdiff_t G>
HWY_INLINE void columns_sequence_block(float* p, std::ptrdiff_t ld, std::int32_t count, const float* f) {
  const D d;
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(d));
  reflect_sequence<G>(
      count, f, [&](std::ptrdiff_t t, std::ptrdiff_t g) { return hn::LoadU(d, p + t * ld + g * N); },
      [&](V v, std::ptrdiff_t t, std::ptrdiff_t g) { hn::StoreU(v, d, p + t * ld + g * N); });
}

// Columns j .. j + G N - 1 of rows t, gathered ld apart.
template <std::ptrdiff_t G>
HWY_INLINE void rows_sequence_block(float* p, std::ptrdiff_t ld, std::int32_t count, const float* f,
                                    hn::Vec<hn::RebindToSigned<D>> lanes) {
  const D d;
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(d));
  reflect_sequence<G>(
      count, f, [&](std::ptrdiff_t t, std::ptrdiff_t g) { return hn::GatherIndex(d, p + g * N * ld + t, lanes); },
      [&](V v, std::ptrdiff_t t, std::ptrdiff_t g) { hn::ScatterIndex(v, d, p + g * N * ld + t, lanes); });
}

void reflect_columns_sequence(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t count,
                              const float* f) noexcept {
  if (count <= 0) return;
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(D()));
  std::ptrdiff_t i = 0;
  for (; i + 4 * N <= rows; i += 4 * N) columns_sequence_block<4>(x + i, ld, count, f);
  for (; i + N <= rows; i += N) columns_sequence_block<1>(x + i, ld, count, f);
  if (i == rows) return;
  for (std::ptrdiff_t t = 0; t < count; ++t) {
    reflect_columns(x + i + t * ld, ld, static_cast<std::int32_t>(rows - i), 3, f + 5 * t);
  }
}

void reflect_rows_sequence(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t count,
                           const float* f) noexcept {
  if (count <= 0) return;
  const hn::RebindToSigned<D> di;
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(D()));
  std::ptrdiff_t j = 0;
  // One vector of columns at a time: the columns of a wider block, ld
  // apart, would compete for the same few sets of the first-level cache
  // when ld is a multiple of a large power of two.
  if (ld * (N - 1) <= INT32_MAX) {
    const auto lanes = hn::Mul(hn::Iota(di, 0), hn::Set(di, static_cast<std::int32_t>(ld)));
    for (; j + N <= cols; j += N) rows_sequence_block<1>(x + j * ld, ld, count, f, lanes);
  }
  if (j == cols) return;
  for (std::ptrdiff_t t = 0; t < count; ++t) {
    reflect_rows(x + j * ld + t, ld, static_cast<std::int32_t>(cols - j), 3, f + 5 * t);
  }
}

bool tridiagonal_ql(float* d, float* e, std::int32_t n, float* z, float* cw, float* sw,
                    std::int32_t max_sweeps) noexcept {
  return ql::tridiagonal_ql_body(d, e, n, z, cw, sw, max_sweeps, rotate_eigenvectors);
}

namespace {

// The next reflector at or below k that is not skipped, or -1.
std::int32_t next_reflector(const float* tau, std::int32_t k) {
  while (k >= 0 && tau[k] == 0.0f) --k;
  return k;
}

// The reflectors on W vectors of rows from r0, in one pass each: as a
// reflector's update of a column is made, the column's term of the next
// reflector's chain is added, so every column is loaded and stored once
// per reflector while the W chains hide each other's latency. The rows
// above k + 1 that a pass covers are rows of the identity not yet reached
// (zeros from column k + 1 on), which the pass leaves as they are.
template <std::size_t W>
HWY_INLINE void reflector_rows(float* y, std::ptrdiff_t n, const float* v, const float* tau, std::int32_t count,
                               std::ptrdiff_t r0) {
  const D d;
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(d));
  const auto last_row = r0 + static_cast<std::ptrdiff_t>(W) * N - 1;
  std::int32_t k = next_reflector(tau, static_cast<std::int32_t>(std::min<std::ptrdiff_t>(count - 1, last_row - 1)));
  if (k < 0) return;
  const auto column = [&](std::ptrdiff_t c) { return y + r0 + c * n; };
  const auto u = [&](std::ptrdiff_t j, std::ptrdiff_t c) { return c == j + 1 ? 1.0f : v[j * n + c]; };
  V p[W];
  for (auto& x : p) x = hn::Zero(d);
  for (std::ptrdiff_t c = k + 1; c < n; ++c) {
    const V uc = hn::Set(d, u(k, c));
    for (std::size_t q = 0; q < W; ++q) p[q] = hn::MulAdd(hn::LoadU(d, column(c) + q * N), uc, p[q]);
  }
  while (k >= 0) {
    const std::int32_t kn = next_reflector(tau, k - 1);
    const float t = tau[k];
    if (kn < 0) {
      for (std::ptrdiff_t c = k + 1; c < n; ++c) {
        const V tc = hn::Set(d, t * u(k, c));
        for (std::size_t q = 0; q < W; ++q) {
          float* at = column(c) + q * N;
          hn::StoreU(hn::NegMulAdd(tc, p[q], hn::LoadU(d, at)), d, at);
        }
      }
      return;
    }
    V pn[W];
    for (auto& x : pn) x = hn::Zero(d);
    for (std::ptrdiff_t c = kn + 1; c <= k; ++c) {
      const V uc = hn::Set(d, u(kn, c));
      for (std::size_t q = 0; q < W; ++q) pn[q] = hn::MulAdd(hn::LoadU(d, column(c) + q * N), uc, pn[q]);
    }
    for (std::ptrdiff_t c = k + 1; c < n; ++c) {
      const V tc = hn::Set(d, t * u(k, c));
      const V uc = hn::Set(d, u(kn, c));
      for (std::size_t q = 0; q < W; ++q) {
        float* at = column(c) + q * N;
        const V x = hn::NegMulAdd(tc, p[q], hn::LoadU(d, at));
        hn::StoreU(x, d, at);
        pn[q] = hn::MulAdd(x, uc, pn[q]);
      }
    }
    for (std::size_t q = 0; q < W; ++q) p[q] = pn[q];
    k = kn;
  }
}

// One row, as the reference loop treats it.
void reflector_row(float* y, std::ptrdiff_t n, const float* v, const float* tau, std::int32_t count, std::ptrdiff_t r) {
  for (auto k = static_cast<std::int32_t>(std::min<std::ptrdiff_t>(count - 1, r - 1)); k >= 0; --k) {
    if (tau[k] == 0.0f) continue;
    const auto u = [&](std::ptrdiff_t c) { return c == k + 1 ? 1.0f : v[k * n + c]; };
    float p = 0.0f;
    for (std::ptrdiff_t c = k + 1; c < n; ++c) p = std::fma(y[r + c * n], u(c), p);
    for (std::ptrdiff_t c = k + 1; c < n; ++c) y[r + c * n] = std::fma(-(tau[k] * u(c)), p, y[r + c * n]);
  }
}

}  // namespace

void accumulate_reflectors(float* y, std::int32_t n, const float* v, const float* tau, std::int32_t count) noexcept {
  const auto N = static_cast<std::ptrdiff_t>(hn::Lanes(D()));
  const auto un = static_cast<std::ptrdiff_t>(n);
  std::ptrdiff_t r = 0;
  // Eight vectors of rows a block: longer runs of each column for the
  // prefetchers (two vectors ran 1.4 times slower at n = 512).
  for (; r + 8 * N <= un; r += 8 * N) reflector_rows<8>(y, un, v, tau, count, r);
  for (; r + 4 * N <= un; r += 4 * N) reflector_rows<4>(y, un, v, tau, count, r);
  for (; r + N <= un; r += N) reflector_rows<1>(y, un, v, tau, count, r);
  for (; r < un; ++r) reflector_row(y, un, v, tau, count, r);
}

#endif

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
