// The vector forms of common/through_double.hpp, for the fast kernels:
// single-precision steps carried out on double lanes (one float per lane),
// with the bits of the single-precision instruction and never a subnormal
// operand or result. The kernels take this path only where tiny values
// appear, and only on x86, where subnormal arithmetic takes microcode
// assists; elsewhere the plain instructions are as fast.
//
// Included once per target by fused.cpp (Highway's per-target header
// pattern: the guard flips with each target).

#if defined(ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_) == defined(HWY_TARGET_TOGGLE)  // NOLINT
#ifdef ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_
#undef ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_
#else
#define ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_
#endif

#include <hwy/highway.h>

#include "common/through_double.hpp"

#include <cmath>
#include <cstddef>
#include <type_traits>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The targets fused.cpp builds kernels for.
#if HWY_NATIVE_FMA && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_NEON)

#if HWY_ARCH_X86 && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3)
// Whether the kernels look for tiny values at all.
constexpr bool kAvoidSubnormals = true;
#else
constexpr bool kAvoidSubnormals = false;
#endif

using WideD = hn::ScalableTag<double>;
using NarrowD = hn::Rebind<float, WideD>;  // as many floats as double lanes
using WideV = hn::Vec<WideD>;

// Some lane of v is tiny (not zero, below detail::tiny_magnitude).
template <class D>
HWY_INLINE bool any_tiny(D d, hn::Vec<D> v) {
  const auto magnitude = hn::Abs(v);
  const auto tiny = hn::And(hn::Lt(magnitude, hn::Set(d, detail::tiny_magnitude)), hn::Ne(v, hn::Zero(d)));
  return !hn::AllFalse(d, tiny);
}

// Some value of x[0 .. count) is tiny.
HWY_INLINE bool any_tiny(const float* x, size_t count) {
  const hn::ScalableTag<float> d;
  const size_t n = hn::Lanes(d);
  size_t i = 0;
  for (; i + n <= count; i += n) {
    if (any_tiny(d, hn::LoadU(d, x + i))) return true;
  }
  if constexpr (kAvoidSubnormals) {
    // x86: the rest as one vector, the lanes past it read as zeros (never
    // tiny) and never touched.
    return i < count && any_tiny(d, hn::MaskedLoad(hn::FirstN(d, count - i), d, x + i));
  }
  for (; i < count; ++i) {
    if (detail::is_tiny(x[i])) return true;
  }
  return false;
}

HWY_INLINE WideV load_wide(const float* p) { return hn::PromoteTo(WideD(), hn::LoadU(NarrowD(), p)); }

#if HWY_TARGET == HWY_AVX3
// fma(a, b, c) lane by lane, each lane a float held as a double, returned
// as floats. The fused step in double rounded down and up brackets the
// exact sum; where they differ the sum is inexact and the one of the two
// whose last bit is 1 is the sum rounded to odd; where they agree it is
// exact (and the round-to-nearest step has the IEEE sign of an exact zero).
// Then to float.
HWY_INLINE hn::Vec<NarrowD> fused_step_narrow(WideV a, WideV b, WideV c) {
  const __m512d nearest = _mm512_fmadd_pd(a.raw, b.raw, c.raw);
  const __m512d down = _mm512_fmadd_round_pd(a.raw, b.raw, c.raw, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  const __m512d up = _mm512_fmadd_round_pd(a.raw, b.raw, c.raw, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
  const __mmask8 inexact = _mm512_cmp_pd_mask(down, up, _CMP_NEQ_UQ);
  const __mmask8 down_odd = _mm512_test_epi64_mask(_mm512_castpd_si512(down), _mm512_set1_epi64(1));
  const __m512d odd = _mm512_mask_blend_pd(down_odd, up, down);
  return hn::DemoteTo(NarrowD(), WideV{_mm512_mask_blend_pd(inexact, nearest, odd)});
}
#else
// fma(a, b, c) lane by lane, each lane a float held as a double, returned
// as floats: the exact product, the sum and its error (TwoSum), the sum
// rounded to odd, then to float.
HWY_INLINE hn::Vec<NarrowD> fused_step_narrow(WideV a, WideV b, WideV c) {
  const WideD dd;
  const hn::RebindToSigned<WideD> di;
  const WideV p = hn::Mul(a, b);
  const WideV s = hn::Add(p, c);
  const WideV bp = hn::Sub(s, p);
  const WideV e = hn::Add(hn::Sub(p, hn::Sub(s, bp)), hn::Sub(c, bp));
  const auto bits = hn::BitCast(di, s);
  const auto one = hn::Set(di, 1);
  const auto even = hn::RebindMask(dd, hn::Eq(hn::And(bits, one), hn::Zero(di)));
  const auto adjust = hn::And(hn::And(even, hn::Ne(e, hn::Zero(dd))), hn::IsFinite(s));
  // +1 (away from zero) when s and e share their sign, -1 otherwise.
  const auto toward_e = hn::Or(hn::ShiftRight<63>(hn::Xor(bits, hn::BitCast(di, e))), one);
  const WideV odd = hn::BitCast(dd, hn::IfThenElse(hn::RebindMask(di, adjust), hn::Add(bits, toward_e), bits));
  return hn::DemoteTo(NarrowD(), odd);
}
#endif

// fma(a, b, c) on a full float vector, its halves on the double lanes.
template <class D>
HWY_INLINE hn::Vec<D> fused_vector_through_double(D d, hn::Vec<D> a, float b, hn::Vec<D> c) {
  const WideD dw;
  const WideV wb = hn::Set(dw, static_cast<double>(b));
  if constexpr (std::is_same_v<D, NarrowD>) {
    return fused_step_narrow(hn::PromoteTo(dw, a), wb, hn::PromoteTo(dw, c));
  } else {
    const hn::Half<D> dh;
    const auto lower =
        fused_step_narrow(hn::PromoteTo(dw, hn::LowerHalf(dh, a)), wb, hn::PromoteTo(dw, hn::LowerHalf(dh, c)));
    const auto upper =
        fused_step_narrow(hn::PromoteTo(dw, hn::UpperHalf(dh, a)), wb, hn::PromoteTo(dw, hn::UpperHalf(dh, c)));
    return hn::Combine(d, upper, lower);
  }
}

// std::fma(a, b, c), through double when a value is tiny.
HWY_INLINE float fused_scalar(float a, float b, float c) {
  if (kAvoidSubnormals && (detail::is_tiny(a) || detail::is_tiny(b) || detail::is_tiny(c))) {
    return detail::fused_through_double(a, b, c);
  }
  return std::fma(a, b, c);
}

#endif  // the targets fused.cpp builds kernels for

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_
