// What every fast kernel file shares: the targets it is compiled for and
// the per-target helpers (vector types, the fused step, masked tails,
// working storage, the axpy step). A kernel file names itself and includes
// this header first:
//
//   #undef HWY_TARGET_INCLUDE
//   #define HWY_TARGET_INCLUDE "kernels/<file>.cpp"
//   #include "kernels/targets-inl.h"
//
// which compiles that file once per target (Highway's foreach_target) and
// then declares the helpers of the target being compiled. Its kernels go
// between `#if ORVIK_FAST_TARGET` and `#endif`, inside
// orvik::kernels::HWY_NAMESPACE.
//
// Only Highway's headers are used: the choice among the compiled targets is
// made in fast_table.cpp from the processor's feature flags, so the library
// does not link against libhwy and its users never see it.

#ifndef ORVIK_KERNELS_TARGETS_CHOSEN
#define ORVIK_KERNELS_TARGETS_CHOSEN
// Targets whose MulAdd would be a multiply and an add (two roundings) are not
// compiled, and those the dispatcher never picks are left out too.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SSSE3 | HWY_SSE4 | HWY_AVX3_DL | HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#endif
// Highway's debug checks call into libhwy, which the library does not link.
#ifndef HWY_IS_DEBUG_BUILD
#define HWY_IS_DEBUG_BUILD 0
#endif
// The targets the fast kernels are built for: a fused multiply-add
// instruction, and one the dispatcher picks.
#define ORVIK_FAST_TARGET \
  (HWY_NATIVE_FMA && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_NEON))
#endif

#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

// The per-target part: its guard flips with each target (Highway's
// per-target header pattern).
#if defined(ORVIK_KERNELS_TARGETS_INL_H_) == defined(HWY_TARGET_TOGGLE)  // NOLINT
#ifdef ORVIK_KERNELS_TARGETS_INL_H_
#undef ORVIK_KERNELS_TARGETS_INL_H_
#else
#define ORVIK_KERNELS_TARGETS_INL_H_
#endif

#include <cmath>
#include <cstddef>
#include <new>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if ORVIK_FAST_TARGET

using std::ptrdiff_t;
using std::size_t;
using D = hn::ScalableTag<float>;
using V = hn::Vec<D>;

// The most floats two vectors hold on any target.
constexpr size_t kMaxMR = 2 * HWY_MAX_BYTES / sizeof(float);

// The vectors of rows a chain of plane rotations carries at once
// (rotate_columns, rotate_eigenvectors): columns met in runs this long are
// followed by the prefetchers (four vectors ran 1.5 times slower on
// 512 x 512); 8 where there are only 16 vector registers.
constexpr size_t kTallStretch = HWY_TARGET == HWY_AVX2 ? 8 : 16;

// Working storage of one call: aligned, bounded, never shared between
// threads. Small sizes (the iterations' many small products) live in the
// object itself, on the stack; larger ones on the heap. When the memory
// cannot be had the caller runs the reference loop instead, which needs
// none and gives the same bits: a kernel never fails.
class buffer {
 public:
  explicit buffer(size_t count)
      : data_(count <= kInline
                  ? inline_
                  : static_cast<float*>(::operator new (count * sizeof(float), std::align_val_t{64}, std::nothrow))) {}
  buffer(const buffer&) = delete;
  buffer& operator=(const buffer&) = delete;
  ~buffer() {
    if (data_ != inline_) ::operator delete (data_, std::align_val_t{64});
  }
  bool ok() const { return data_ != nullptr; }
  float* get() const { return data_; }

 private:
  static constexpr size_t kInline = 2048;
  alignas(64) float inline_[kInline];
  float* data_;
};

template <bool kSubtract>
HWY_INLINE V step(V a, V b, V c) {
  if constexpr (kSubtract) {
    return hn::NegMulAdd(a, b, c);  // c - a*b, one rounding
  } else {
    return hn::MulAdd(a, b, c);
  }
}

template <bool kSubtract>
HWY_INLINE float step(float a, float b, float c) {
  return kSubtract ? std::fma(-a, b, c) : std::fma(a, b, c);
}

// The last `count` (< one vector) elements of a loop as one vector, its other
// lanes zeros, where the target has loads that leave those lanes unread
// (x86); the result goes back element by element, so that the next loads of
// these elements need not wait for a masked store to reach the cache.
constexpr bool kMaskedTails = HWY_ARCH_X86 != 0;
HWY_INLINE V load_tail(D d, const float* p, size_t count) { return hn::MaskedLoad(hn::FirstN(d, count), d, p); }
HWY_INLINE void store_tail(D d, V v, float* p, size_t count) {
  HWY_ALIGN float out[kMaxMR / 2];
  hn::Store(v, d, out);
  // Two overlapping stores of 8 or 4 where they fit (both write the same
  // values where they meet), one by one below that.
  if (HWY_MAX_BYTES >= 32 && count >= 8) {
    const hn::CappedTag<float, 8> d8;
    hn::StoreU(hn::LoadU(d8, out), d8, p);
    hn::StoreU(hn::LoadU(d8, out + count - 8), d8, p + count - 8);
    return;
  }
  if (count >= 4) {
    const hn::CappedTag<float, 4> d4;
    hn::StoreU(hn::LoadU(d4, out), d4, p);
    hn::StoreU(hn::LoadU(d4, out + count - 4), d4, p + count - 4);
    return;
  }
  for (size_t t = 0; t < count; ++t) p[t] = out[t];
}

// One register tile: c (2N x kNR) from 0.0 or its current value, then kc
// y[i] = y[i] -/+ f * x[i] for i < count, one fused step each.
template <bool kSubtract>
HWY_INLINE void axpy(float* HWY_RESTRICT y, float f, const float* HWY_RESTRICT x, size_t count) {
  const D d;
  const size_t N = hn::Lanes(d);
  const V vf = hn::Set(d, f);
  size_t i = 0;
  for (; i + N <= count; i += N) hn::StoreU(step<kSubtract>(hn::LoadU(d, x + i), vf, hn::LoadU(d, y + i)), d, y + i);
  if (kMaskedTails && i < count) {
    store_tail(d, step<kSubtract>(load_tail(d, x + i, count - i), vf, load_tail(d, y + i, count - i)), y + i,
               count - i);
    return;
  }
  for (; i < count; ++i) y[i] = step<kSubtract>(x[i], f, y[i]);
}

// The 4 x 4 block of a at rows j.., columns c.. (leading dimension m),
// transposed: w[t] holds row j + t across the four columns.
HWY_INLINE void transposed_block(const float* a, size_t m, hn::Vec<hn::Full128<float>> w[4]) {
  const hn::Full128<float> d4;
  const auto v0 = hn::LoadU(d4, a);
  const auto v1 = hn::LoadU(d4, a + m);
  const auto v2 = hn::LoadU(d4, a + 2 * m);
  const auto v3 = hn::LoadU(d4, a + 3 * m);
  const auto t0 = hn::InterleaveLower(d4, v0, v1);
  const auto t1 = hn::InterleaveLower(d4, v2, v3);
  const auto t2 = hn::InterleaveUpper(d4, v0, v1);
  const auto t3 = hn::InterleaveUpper(d4, v2, v3);
  w[0] = hn::ConcatLowerLower(d4, t1, t0);
  w[1] = hn::ConcatUpperUpper(d4, t1, t0);
  w[2] = hn::ConcatLowerLower(d4, t3, t2);
  w[3] = hn::ConcatUpperUpper(d4, t3, t2);
}

#endif  // ORVIK_FAST_TARGET

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // ORVIK_KERNELS_TARGETS_INL_H_
