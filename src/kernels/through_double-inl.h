// The vector forms of common/through_double.hpp, for the fast kernels:
// single-precision steps carried out on double lanes (one float per lane),
// with the bits of the single-precision instruction and never a subnormal
// operand or result. The kernels take this path only where tiny values
// appear, and only on x86, where subnormal arithmetic takes microcode
// assists; elsewhere the plain instructions are as fast.
//
// Included once per target by the kernel files, after targets-inl.h
// (Highway's per-target header pattern: the guard flips with each target).

#if defined(ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_) == defined(HWY_TARGET_TOGGLE)  // NOLINT
#ifdef ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_
#undef ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_
#else
#define ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_
#endif

#include <hwy/highway.h>

#include "common/through_double.hpp"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if ORVIK_FAST_TARGET

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

// The careful steps' shortcuts, each exact wherever it applies.
//
// Running values of at least this magnitude stay as they are under a tiny b
// when every |a| is at most max_a (finite): |a b| <= |c| 2^-26 is below a
// quarter of c's last place. At least the smallest subnormal, so that c is
// not zero.
HWY_INLINE float unmoved_from(double max_a, float b) {
  return static_cast<float>(std::fmax(max_a * std::fabs(static_cast<double>(b)) * 0x1p26, 0x1p-149));
}

// For a tiny f, a power of two at most 2^-151 / |f| (a tiny f lies between
// 2^-149 and 2^-60, so the power between 2^-91 and 2^-3): every x below it
// in magnitude makes a product x f below a quarter of the smallest
// subnormal. 0 for any other f.
HWY_INLINE float negligible_below(float f) {
  if (!detail::is_tiny(f)) return 0.0f;
  const auto exponent =
      static_cast<std::int32_t>((std::bit_cast<std::uint64_t>(static_cast<double>(f)) >> 52) & 0x7ffU) - 1023;
  return std::bit_cast<float>(static_cast<std::uint32_t>(-152 - exponent + 127) << 23);
}

// y + x f, one fused step each, where every product is below 2^-151: y as
// it is, but a zero y takes the zero the product rounds to (the product's
// sign; the sum's rules when the product is an exact zero).
template <class DF>
HWY_INLINE hn::Vec<DF> add_negligible_products(DF d, hn::Vec<DF> x, float f, hn::Vec<DF> y) {
  const auto zero_product = hn::Mul(x, hn::Set(d, std::copysign(0.0f, f)));
  const auto rounds_to_zero = hn::And(hn::Eq(y, hn::Zero(d)), hn::Ne(x, hn::Zero(d)));
  return hn::IfThenElse(rounds_to_zero, zero_product, hn::Add(y, zero_product));
}

// The careful fused step y + x f (f worked out once), with the same bits as
// the instruction. Per vector: a zero f adds the products x*0 (never
// assisted); the instruction where f, x and y are clear of the subnormal
// range; products all below 2^-151 (a quarter of the smallest subnormal)
// leave y as it is, but for a zero y that takes the zero the product rounds
// to; any other step goes through the double lanes.
struct careful_factor {
  explicit careful_factor(float value) : f(value), zero(value == 0.0f), tiny(detail::is_tiny(value)) {
    below = hn::Set(D(), negligible_below(value));
  }
  float f;
  bool zero;
  bool tiny;
  V below;
};

HWY_INLINE V careful_step(D d, V x, const careful_factor& f, V y) {
  const V vf = hn::Set(d, f.f);
  if (f.zero) return hn::Add(y, hn::Mul(x, vf));
  if (!f.tiny && !any_tiny(d, x) && !any_tiny(d, y)) return hn::MulAdd(x, vf, y);
  if (hn::AllTrue(d, hn::Lt(hn::Abs(x), f.below))) return add_negligible_products(d, x, f.f, y);
  return fused_vector_through_double(d, x, f.f, y);
}

#endif  // ORVIK_FAST_TARGET

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // ORVIK_KERNELS_THROUGH_DOUBLE_INL_H_
