// The fast kernels of the singular value decomposition: the chain of plane
// rotations (rotate_columns) and the bidiagonal sweep, compiled for every
// fast target (targets-inl.h). The sweep is the shared scalar source of
// bidiagonal_sweep-inl.h, here with the target's fused multiply-add
// instruction. A rotation works element by element, so running the rows
// side by side in vectors gives the reference bits as long as every element
// takes the same two roundings per rotation.
//
// The rows go in stretches of four vectors: each stretch runs through the
// whole chain with the column it carries held in registers, so a rotation
// costs one load and one store per element, and the four independent
// chains hide the latency of the product and the fused step.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/rotations.cpp"
#include "kernels/targets-inl.h"  // IWYU pragma: keep

#include "kernels/fast_kernels-inl.h"

#include "common/min_max.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

// Every pass includes it, so that its guard flips with each target.
#include "kernels/bidiagonal_sweep-inl.h"

#if ORVIK_FAST_TARGET

// One rotation of the pair (x, y): x' = c x + s y, y' = c y - s x, each
// product s * . rounded, then one fused step.
HWY_INLINE void turn(V c, V s, V& x, V& y) {
  const V x_new = hn::MulAdd(c, x, hn::Mul(s, y));
  y = hn::MulSub(c, y, hn::Mul(s, x));
  x = x_new;
}

HWY_INLINE void turn(float c, float s, float& x, float& y) {
  const float x_new = std::fma(c, x, s * y);
  y = std::fma(c, y, -(s * x));
  x = x_new;
}

// W vectors of rows from row i through the whole chain. Forward: column t
// is final once rotation t has run, and column t + 1 is carried into the
// next one. Backward: column t + 1 is final after rotation t, and column t
// is carried down.
template <size_t W>
HWY_INLINE void stretch(D d, float* a, ptrdiff_t ld, size_t i, std::int32_t count, const float* c, const float* s,
                        bool backward) {
  const auto N = static_cast<ptrdiff_t>(hn::Lanes(d));
  const auto col = [&](std::int32_t t, size_t w) {
    return a + static_cast<ptrdiff_t>(t) * ld + static_cast<ptrdiff_t>(i) + static_cast<ptrdiff_t>(w) * N;
  };
  V carried[W];
  if (!backward) {
    for (size_t w = 0; w < W; ++w) carried[w] = hn::LoadU(d, col(0, w));
    for (std::int32_t t = 0; t < count; ++t) {
      const V ct = hn::Set(d, c[t]);
      const V st = hn::Set(d, s[t]);
      for (size_t w = 0; w < W; ++w) {
        V y = hn::LoadU(d, col(t + 1, w));
        turn(ct, st, carried[w], y);
        hn::StoreU(carried[w], d, col(t, w));
        carried[w] = y;
      }
    }
    for (size_t w = 0; w < W; ++w) hn::StoreU(carried[w], d, col(count, w));
  } else {
    for (size_t w = 0; w < W; ++w) carried[w] = hn::LoadU(d, col(count, w));
    for (std::int32_t t = count - 1; t >= 0; --t) {
      const V ct = hn::Set(d, c[t]);
      const V st = hn::Set(d, s[t]);
      for (size_t w = 0; w < W; ++w) {
        V x = hn::LoadU(d, col(t, w));
        turn(ct, st, x, carried[w]);
        hn::StoreU(carried[w], d, col(t + 1, w));
        carried[w] = x;
      }
    }
    for (size_t w = 0; w < W; ++w) hn::StoreU(carried[w], d, col(0, w));
  }
}

void rotate_columns(float* a, ptrdiff_t ld, std::int32_t rows, std::int32_t count, const float* c, const float* s,
                    bool backward) noexcept {
  if (rows <= 0 || count <= 0) return;
  const D d;
  const size_t N = hn::Lanes(d);
  const auto m = static_cast<size_t>(rows);
  size_t i = 0;
  for (; i + kTallStretch * N <= m; i += kTallStretch * N) stretch<kTallStretch>(d, a, ld, i, count, c, s, backward);
  for (; i + 4 * N <= m; i += 4 * N) stretch<4>(d, a, ld, i, count, c, s, backward);
  for (; i + N <= m; i += N) stretch<1>(d, a, ld, i, count, c, s, backward);
  // The last rows one by one, in the same steps.
  for (; i < m; ++i) {
    float* row = a + static_cast<ptrdiff_t>(i);
    if (!backward) {
      float x = row[0];
      for (std::int32_t t = 0; t < count; ++t) {
        float y = row[static_cast<ptrdiff_t>(t + 1) * ld];
        turn(c[t], s[t], x, y);
        row[static_cast<ptrdiff_t>(t) * ld] = x;
        x = y;
      }
      row[static_cast<ptrdiff_t>(count) * ld] = x;
    } else {
      float y = row[static_cast<ptrdiff_t>(count) * ld];
      for (std::int32_t t = count - 1; t >= 0; --t) {
        float x = row[static_cast<ptrdiff_t>(t) * ld];
        turn(c[t], s[t], x, y);
        row[static_cast<ptrdiff_t>(t + 1) * ld] = y;
        y = x;
      }
      row[0] = y;
    }
  }
}

std::int32_t bidiagonal_sweep(float* d, float* e, std::int32_t count, float shift, bool downwards, float* lc, float* ls,
                              float* rc, float* rs, float tol, float* minima) noexcept {
  return bidiagonal_sweep_body(d, e, count, shift, downwards, lc, ls, rc, rs, tol, minima);
}

#endif

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
