// The fast kernels, written once with Highway's portable vectors and compiled
// for every instruction set that has a fused multiply-add instruction (AVX2
// with FMA, AVX-512, NEON on AArch64). Each returns exactly the bits of its
// reference loop (reference.cpp): vectors run across outputs, never across
// the terms of one output, and every output receives its terms in increasing
// order, one fused multiply-add each, from its specified start.
//
// Only Highway's headers are used: the choice among the compiled targets is
// made here from the processor's feature flags, so the library does not link
// against libhwy and its users never see it.

// Targets whose MulAdd would be a multiply and an add (two roundings) are not
// compiled, and those the dispatcher below never picks are left out too.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SSSE3 | HWY_SSE4 | HWY_AVX3_DL | HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#endif
// Highway's debug checks call into libhwy, which the library does not link.
#ifndef HWY_IS_DEBUG_BUILD
#define HWY_IS_DEBUG_BUILD 0
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/fused.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "kernels/eigen_updates-inl.h"
#include "kernels/kernels.hpp"
#include "kernels/through_double-inl.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_NATIVE_FMA && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_NEON)

using std::ptrdiff_t;
using std::size_t;
using D = hn::ScalableTag<float>;
using V = hn::Vec<D>;

// Register tile of the product: two vectors of rows by kNR columns of
// accumulators, as many as the register file holds with room for the
// operands (16 registers on AVX2, 32 elsewhere).
#undef ORVIK_TILE_COLUMNS
#if HWY_TARGET == HWY_AVX2
constexpr size_t kNR = 6;
#define ORVIK_TILE_COLUMNS(X) X(0) X(1) X(2) X(3) X(4) X(5)
#else
constexpr size_t kNR = 12;
#define ORVIK_TILE_COLUMNS(X) X(0) X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8) X(9) X(10) X(11)
#endif
constexpr size_t kMaxMR = 2 * HWY_MAX_BYTES / sizeof(float);
// Cache blocks: a kc x kNR sliver of b stays in L1, an mc x kc block of a
// in L2, a kc x nc panel of b in L3. Together about 2.3 MiB per call.
constexpr size_t kKC = 256;
constexpr size_t kMC = 192;
constexpr size_t kNC = 2040;

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
// terms in order. pa: kc groups of 2N rows; pb: kc groups of kNR columns.
template <bool kSubtract>
HWY_NOINLINE void micro_tile(size_t kc, const float* HWY_RESTRICT pa, const float* HWY_RESTRICT pb, float* c,
                             size_t ldc, bool load) {
  const D d;
  const size_t N = hn::Lanes(d);
#define ORVIK_DECLARE(j) V c0_##j = hn::Zero(d), c1_##j = hn::Zero(d);
  ORVIK_TILE_COLUMNS(ORVIK_DECLARE)
#undef ORVIK_DECLARE
  if (load) {
#define ORVIK_LOAD(j)                 \
  c0_##j = hn::LoadU(d, c + (j)*ldc); \
  c1_##j = hn::LoadU(d, c + (j)*ldc + N);
    ORVIK_TILE_COLUMNS(ORVIK_LOAD)
#undef ORVIK_LOAD
  }
  for (size_t l = 0; l < kc; ++l) {
    const V a0 = hn::Load(d, pa);
    const V a1 = hn::Load(d, pa + N);
#define ORVIK_STEP(j)                        \
  {                                          \
    const V b = hn::Set(d, pb[j]);           \
    c0_##j = step<kSubtract>(a0, b, c0_##j); \
    c1_##j = step<kSubtract>(a1, b, c1_##j); \
  }
    ORVIK_TILE_COLUMNS(ORVIK_STEP)
#undef ORVIK_STEP
    pa += 2 * N;
    pb += kNR;
  }
#define ORVIK_STORE(j)                \
  hn::StoreU(c0_##j, d, c + (j)*ldc); \
  hn::StoreU(c1_##j, d, c + (j)*ldc + N);
  ORVIK_TILE_COLUMNS(ORVIK_STORE)
#undef ORVIK_STORE
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

// The register tile where tiny values are about: the same steps in the same
// order. A step whose operands and running values are clear of the
// subnormal range is the instruction; a zero b is the sum c + a*0 that the
// fused step computes (a product with zero is never an assisted one); any
// other step goes through the double lanes. The columns go side by side
// (terms outside, columns inside), so that the latency of one column's
// steps through double hides behind the others'.
//
// A tiny b against running values of at least unmoved_from(max|a|, b), with
// every a finite, leaves them as they are: those steps are skipped.
template <bool kSubtract>
HWY_NOINLINE void careful_tile(size_t kc, const float* HWY_RESTRICT pa, const float* HWY_RESTRICT pb, float* c,
                               size_t ldc, bool load) {
  const D d;
  const size_t N = hn::Lanes(d);
  bool tiny_a[kKC];
  // The largest |a| of the sliver; infinite when it holds an infinity or NaN.
  V largest = hn::Zero(d);
  bool finite_a = true;
  for (size_t l = 0; l < kc; ++l) {
    const V a0 = hn::Load(d, pa + l * 2 * N);
    const V a1 = hn::Load(d, pa + l * 2 * N + N);
    tiny_a[l] = any_tiny(d, a0) || any_tiny(d, a1);
    finite_a = finite_a && hn::AllTrue(d, hn::IsFinite(a0)) && hn::AllTrue(d, hn::IsFinite(a1));
    largest = hn::Max(largest, hn::Max(hn::Abs(a0), hn::Abs(a1)));
  }
  const double max_a = finite_a ? static_cast<double>(hn::GetLane(hn::MaxOfLanes(d, largest))) : HUGE_VAL;
  const hn::RebindToSigned<D> di;
  const auto negative_zero = hn::Set(di, INT32_MIN);
  V acc0[kNR];
  V acc1[kNR];
  bool tiny_c[kNR];
  // What is known of each column's running values since they last changed:
  // the least magnitude among them (negative: not known), and whether none
  // is -0 (then a zero b, whose products are zeros, leaves them as they are).
  float least[kNR];
  bool no_negative_zero[kNR];
  for (size_t j = 0; j < kNR; ++j) {
    acc0[j] = load ? hn::LoadU(d, c + j * ldc) : hn::Zero(d);
    acc1[j] = load ? hn::LoadU(d, c + j * ldc + N) : hn::Zero(d);
    tiny_c[j] = load && (any_tiny(d, acc0[j]) || any_tiny(d, acc1[j]));
    least[j] = -1.0f;
    no_negative_zero[j] = false;
  }
  for (size_t l = 0; l < kc; ++l) {
    const V a0 = hn::Load(d, pa + l * 2 * N);
    const V a1 = hn::Load(d, pa + l * 2 * N + N);
    const V s0 = kSubtract ? hn::Neg(a0) : a0;
    const V s1 = kSubtract ? hn::Neg(a1) : a1;
    for (size_t j = 0; j < kNR; ++j) {
      const float b = pb[l * kNR + j];
      if (b == 0.0f) {
        if (finite_a && no_negative_zero[j]) continue;
        const V zero = hn::Set(d, b);
        acc0[j] = hn::Add(acc0[j], hn::Mul(s0, zero));
        acc1[j] = hn::Add(acc1[j], hn::Mul(s1, zero));
        no_negative_zero[j] = hn::AllFalse(di, hn::Eq(hn::BitCast(di, acc0[j]), negative_zero)) &&
                              hn::AllFalse(di, hn::Eq(hn::BitCast(di, acc1[j]), negative_zero));
        continue;
      }
      if (!tiny_c[j] && !tiny_a[l] && !detail::is_tiny(b)) {
        const V vb = hn::Set(d, b);
        acc0[j] = hn::MulAdd(s0, vb, acc0[j]);
        acc1[j] = hn::MulAdd(s1, vb, acc1[j]);
      } else {
        if (detail::is_tiny(b)) {
          const float bound = unmoved_from(max_a, b);
          if (least[j] < 0.0f) {
            least[j] = hn::GetLane(hn::MinOfLanes(d, hn::Min(hn::Abs(acc0[j]), hn::Abs(acc1[j]))));
          }
          if (finite_a && least[j] >= bound) continue;
        }
        acc0[j] = fused_vector_through_double(d, s0, b, acc0[j]);
        acc1[j] = fused_vector_through_double(d, s1, b, acc1[j]);
        tiny_c[j] = any_tiny(d, acc0[j]) || any_tiny(d, acc1[j]);
      }
      least[j] = -1.0f;
      no_negative_zero[j] = false;
    }
  }
  for (size_t j = 0; j < kNR; ++j) {
    hn::StoreU(acc0[j], d, c + j * ldc);
    hn::StoreU(acc1[j], d, c + j * ldc + N);
  }
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

// kc x nc block of b into slivers of kNR columns, each kc rows of kNR
// values; columns past nc are zeros.
void pack_b(operand b, size_t kc, size_t nc, float* HWY_RESTRICT out) {
  for (size_t jr = 0; jr < nc; jr += kNR) {
    const size_t w = std::min(kNR, nc - jr);
    float* dst = out + jr * kc;
    size_t first = 0;
    if (b.row_stride == 1 && w == kNR) {
      // Column-major b: 4 x 4 blocks transposed in registers.
      const hn::Full128<float> d4;
      const size_t kc4 = kc / 4 * 4;
      const auto cs = static_cast<size_t>(b.col_stride);
      for (; first + 4 <= kNR; first += 4) {
        const float* src = b.data + (jr + first) * cs;
        for (size_t l = 0; l < kc4; l += 4) {
          hn::Vec<hn::Full128<float>> t[4];
          transposed_block(src + l, cs, t);
          for (size_t q = 0; q < 4; ++q) hn::StoreU(t[q], d4, dst + (l + q) * kNR + first);
        }
        for (size_t l = kc4; l < kc; ++l) {
          for (size_t jj = first; jj < first + 4; ++jj) dst[l * kNR + jj] = b.data[(jr + jj) * cs + l];
        }
      }
    }
    for (size_t jj = first; jj < w; ++jj) {
      const float* src = b.data + static_cast<ptrdiff_t>(jr + jj) * b.col_stride;
      if (b.row_stride == 1) {
        for (size_t l = 0; l < kc; ++l) dst[l * kNR + jj] = src[l];
      } else {
        for (size_t l = 0; l < kc; ++l) dst[l * kNR + jj] = src[static_cast<ptrdiff_t>(l) * b.row_stride];
      }
    }
    for (size_t jj = w; jj < kNR; ++jj) {
      for (size_t l = 0; l < kc; ++l) dst[l * kNR + jj] = 0.0f;
    }
  }
}

// mc x kc block of a into slivers of mr rows, each kc columns of mr values;
// rows past mc are zeros.
void pack_a(operand a, size_t mc, size_t kc, size_t mr, float* HWY_RESTRICT out) {
  for (size_t ir = 0; ir < mc; ir += mr) {
    const size_t h = std::min(mr, mc - ir);
    float* dst = out + ir * kc;
    const float* src = a.data + static_cast<ptrdiff_t>(ir) * a.row_stride;
    if (a.row_stride == 1 && h == mr) {
      for (size_t l = 0; l < kc; ++l) std::memcpy(dst + l * mr, src + static_cast<ptrdiff_t>(l) * a.col_stride, mr * 4);
      continue;
    }
    for (size_t l = 0; l < kc; ++l) {
      for (size_t ii = 0; ii < h; ++ii) {
        dst[l * mr + ii] = src[static_cast<ptrdiff_t>(ii) * a.row_stride + static_cast<ptrdiff_t>(l) * a.col_stride];
      }
      for (size_t ii = h; ii < mr; ++ii) dst[l * mr + ii] = 0.0f;
    }
  }
}

template <bool kSubtract>
bool gemm_blocked(size_t m, size_t n, size_t k, operand a, operand b, float* c, ptrdiff_t ldc, bool from_zero) {
  const D d;
  const size_t mr = 2 * hn::Lanes(d);
  const size_t nc_max = std::min(kNC, (n + kNR - 1) / kNR * kNR);
  const size_t kc_max = std::min(kKC, k);
  const size_t mc_max = std::min(kMC, (m + mr - 1) / mr * mr);
  const buffer packed_b(kc_max * nc_max);
  const buffer packed_a(mc_max * kc_max);
  if (!packed_b.ok() || !packed_a.ok()) return false;
  alignas(64) float edge[kMaxMR * kNR];
  for (size_t jc = 0; jc < n; jc += kNC) {
    const size_t nc = std::min(kNC, n - jc);
    for (size_t pc = 0; pc < k; pc += kKC) {
      const size_t kc = std::min(kKC, k - pc);
      // Later blocks of terms continue from what the earlier ones stored.
      const bool load = !(from_zero && pc == 0);
      pack_b(operand{b.data + static_cast<ptrdiff_t>(pc) * b.row_stride + static_cast<ptrdiff_t>(jc) * b.col_stride,
                     b.row_stride, b.col_stride},
             kc, nc, packed_b.get());
      const bool tiny_b = kAvoidSubnormals && any_tiny(packed_b.get(), kc * ((nc + kNR - 1) / kNR * kNR));
      for (size_t ic = 0; ic < m; ic += kMC) {
        const size_t mc = std::min(kMC, m - ic);
        pack_a(operand{a.data + static_cast<ptrdiff_t>(ic) * a.row_stride + static_cast<ptrdiff_t>(pc) * a.col_stride,
                       a.row_stride, a.col_stride},
               mc, kc, mr, packed_a.get());
        const bool careful = tiny_b || (kAvoidSubnormals && any_tiny(packed_a.get(), kc * ((mc + mr - 1) / mr * mr)));
        const auto tile = careful ? careful_tile<kSubtract> : micro_tile<kSubtract>;
        for (size_t jr = 0; jr < nc; jr += kNR) {
          const size_t w = std::min(kNR, nc - jr);
          const float* pb = packed_b.get() + jr * kc;
          for (size_t ir = 0; ir < mc; ir += mr) {
            const size_t h = std::min(mr, mc - ir);
            const float* pa = packed_a.get() + ir * kc;
            float* ct = c + static_cast<ptrdiff_t>(ic + ir) + static_cast<ptrdiff_t>(jc + jr) * ldc;
            if (h == mr && w == kNR) {
              tile(kc, pa, pb, ct, static_cast<size_t>(ldc), load);
              continue;
            }
            // A partial tile runs on a copy; the padding lanes compute on
            // zeros and are dropped.
            if (load) {
              for (size_t jj = 0; jj < w; ++jj) {
                for (size_t ii = 0; ii < h; ++ii) edge[jj * mr + ii] = ct[static_cast<ptrdiff_t>(ii + jj * ldc)];
              }
            }
            tile(kc, pa, pb, edge, mr, load);
            for (size_t jj = 0; jj < w; ++jj) {
              for (size_t ii = 0; ii < h; ++ii) ct[static_cast<ptrdiff_t>(ii + jj * ldc)] = edge[jj * mr + ii];
            }
          }
        }
      }
    }
  }
  return true;
}

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

// axpy where f, x or y may hold tiny values, with the same bits: careful
// steps.
template <bool kSubtract>
HWY_INLINE void careful_axpy(float* HWY_RESTRICT y, float f, const float* HWY_RESTRICT x, size_t count) {
  const D d;
  const size_t N = hn::Lanes(d);
  const careful_factor factor(kSubtract ? -f : f);  // y - x f = fma(x, -f, y)
  size_t i = 0;
  for (; i + N <= count; i += N) {
    hn::StoreU(careful_step(d, hn::LoadU(d, x + i), factor, hn::LoadU(d, y + i)), d, y + i);
  }
  if (i == count) return;
  // The last few as one vector (careful_axpy runs on x86 only).
  store_tail(d, careful_step(d, load_tail(d, x + i, count - i), factor, load_tail(d, y + i, count - i)), y + i,
             count - i);
}

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

void gemm_impl(std::int32_t m, std::int32_t n, std::int32_t k, operand a, operand b, float* c, std::ptrdiff_t ldc,
               gemm_mode mode) noexcept {
  if (m <= 0 || n <= 0) return;
  if (k <= 0) {
    if (mode == gemm_mode::assign) {
      for (ptrdiff_t j = 0; j < n; ++j) std::fill_n(c + j * ldc, m, 0.0f);
    }
    return;
  }
  const auto um = static_cast<size_t>(m);
  const auto un = static_cast<size_t>(n);
  const auto uk = static_cast<size_t>(k);
  const bool from_zero = mode == gemm_mode::assign;
  if (un == 1 &&
      (mode == gemm_mode::subtract ? gemv<true>(um, uk, a, b, c, false) : gemv<false>(um, uk, a, b, c, from_zero))) {
    return;
  }
  if (mode == gemm_mode::subtract ? gemm_small<true>(um, un, uk, a, b, c, ldc, false)
                                  : gemm_small<false>(um, un, uk, a, b, c, ldc, from_zero)) {
    return;
  }
  const bool done = mode == gemm_mode::subtract ? gemm_blocked<true>(um, un, uk, a, b, c, ldc, false)
                                                : gemm_blocked<false>(um, un, uk, a, b, c, ldc, from_zero);
  // Nothing of c has been touched when the packing buffers were refused.
  if (!done) reference_kernels().gemm(m, n, k, a, b, c, ldc, mode);
}

void prod_mat(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p, std::int32_t n) noexcept {
  gemm_impl(m, n, p, operand{a, 1, m}, operand{b, 1, p}, c, m, gemm_mode::assign);
}

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
HWY_INLINE void left_columns(const float* HWY_RESTRICT x, const float* HWY_RESTRICT a, float* HWY_RESTRICT y,
                             size_t m) {
  const size_t m8 = m / 8 * 8;
  __m256 acc[G];
  for (auto& v : acc) v = _mm256_setzero_ps();
  for (size_t j = 0; j < m8; j += 8) {
    [&]<size_t... g>(std::index_sequence<g...>) {
      (
          [&] {
            const float* p = a + g * 8 * m + j;
            // Keeps the compiler from turning each of the 8G column
            // addresses into a pointer of its own, more than there are
            // registers: one pointer per group and the stride suffice.
            __asm__("" : "+r"(p));
            __m256 r[8];
            left_rows(p, m, r);
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
    for (size_t j = m8; j < m; ++j) s = std::fma(x[j], a[i * m + j], s);
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
                                     const float* HWY_RESTRICT a, float* HWY_RESTRICT y, size_t m, bool finite) {
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
    for (size_t g = 0; g < G; ++g) left_rows(a + g * 8 * m + j, m, r[g]);
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
    for (size_t j = m8; j < m; ++j) t = fused_scalar(x[j], a[i * m + j], t);
    y[i] = t;
  }
}

// x^T a where x holds tiny values: groups of 32, 16 or 8 columns, the last
// few columns with zero columns after them.
void careful_prod_vec_left(const float* x, const float* a, float* y, size_t m, size_t n) {
  const buffer below(m);
  const buffer padded(8 * m);
  if (!below.ok() || !padded.ok()) {
    for (size_t c = 0; c < n; ++c) {
      float t = 0.0f;
      for (size_t j = 0; j < m; ++j) t = fused_scalar(x[j], a[c * m + j], t);
      y[c] = t;
    }
    return;
  }
  for (size_t j = 0; j < m; ++j) below.get()[j] = negligible_below(x[j]);
  // Whether a holds only finite values, so that a zero x(j) adds zeros.
  const D d;
  const size_t N = hn::Lanes(d);
  const size_t total = m * n;
  auto finite_lanes = hn::IsFinite(hn::Zero(d));
  size_t i = 0;
  for (; i + N <= total; i += N) finite_lanes = hn::And(finite_lanes, hn::IsFinite(hn::LoadU(d, a + i)));
  bool finite = hn::AllTrue(d, finite_lanes);
  for (; i < total; ++i) finite = finite && std::isfinite(a[i]);
  size_t c = 0;
  for (; c + 32 <= n; c += 32) careful_left_columns<4>(below.get(), x, a + c * m, y + c, m, finite);
  for (; c + 8 <= n; c += 8) careful_left_columns<1>(below.get(), x, a + c * m, y + c, m, finite);
  if (c == n) return;
  std::fill_n(padded.get(), 8 * m, 0.0f);
  std::copy_n(a + c * m, (n - c) * m, padded.get());
  float out[8];
  careful_left_columns<1>(below.get(), x, padded.get(), out, m, finite);
  std::copy_n(out, n - c, y + c);
}

void prod_vec_left(const float* x, const float* a, float* y, std::int32_t rows, std::int32_t cols) noexcept {
  const auto m = static_cast<size_t>(rows);
  const auto n = static_cast<size_t>(cols);
  if (kAvoidSubnormals && any_tiny(x, m)) {
    careful_prod_vec_left(x, a, y, m, n);
    return;
  }
  // Four chains while the columns are short and in cache. Longer columns
  // stream from further out, and fewer columns at once keep the streams and
  // the lines of L1 they share (columns a power of two apart fall in the
  // same sets) within what the cache holds.
  size_t c = 0;
  if (m < 384) {
    for (; c + 32 <= n; c += 32) left_columns<4>(x, a + c * m, y + c, m);
  } else if (m < 768) {
    for (; c + 24 <= n; c += 24) left_columns<3>(x, a + c * m, y + c, m);
  }
  for (; c + 16 <= n; c += 16) left_columns<2>(x, a + c * m, y + c, m);
  if (c + 8 <= n) {
    left_columns<1>(x, a + c * m, y + c, m);
    c += 8;
  }
  if (c == n) return;
  // The last columns with zero columns after them, side by side, when the
  // room is had; one chain after another otherwise.
  if (const buffer padded(8 * m); padded.ok()) {
    std::fill_n(padded.get(), 8 * m, 0.0f);
    std::copy_n(a + c * m, (n - c) * m, padded.get());
    float out[8];
    left_columns<1>(x, padded.get(), out, m);
    std::copy_n(out, n - c, y + c);
    return;
  }
  for (; c < n; ++c) {
    float s = 0.0f;
    for (size_t j = 0; j < m; ++j) s = std::fma(x[j], a[c * m + j], s);
    y[c] = s;
  }
}

#else
void prod_vec_left(const float* x, const float* a, float* y, std::int32_t rows, std::int32_t cols) noexcept {
  // Each y(i) is one column's chain of terms, so the chains of neighbouring
  // columns go side by side in the lanes: 4 x 4 blocks of a are transposed
  // in registers, and eight groups of four columns keep the pipeline full.
  const hn::Full128<float> d4;
  using V4 = hn::Vec<hn::Full128<float>>;
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
        transposed_block(a + (c + 4 * g) * m + j, m, w);
        acc[g] = hn::MulAdd(w[0], x0, acc[g]);
        acc[g] = hn::MulAdd(w[1], x1, acc[g]);
        acc[g] = hn::MulAdd(w[2], x2, acc[g]);
        acc[g] = hn::MulAdd(w[3], x3, acc[g]);
      }
    }
    for (size_t g = 0; g < kGroups; ++g) hn::StoreU(acc[g], d4, y + c + 4 * g);
    for (size_t i = c; i < c + 4 * kGroups; ++i) {
      float s = y[i];
      for (size_t j = m4; j < m; ++j) s = std::fma(x[j], a[i * m + j], s);
      y[i] = s;
    }
  }
  // Four independent chains for the last columns.
  for (; c + 4 <= n; c += 4) {
    const float* a0 = a + c * m;
    const float* a1 = a0 + m;
    const float* a2 = a1 + m;
    const float* a3 = a2 + m;
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
    for (size_t j = 0; j < m; ++j) s = std::fma(x[j], a[c * m + j], s);
    y[c] = s;
  }
}

#endif

// One chain of dependent steps each: nothing to vectorise, but the steps
// are the processor's own fused instruction instead of a library call.
float dot(float s, const float* x, const float* y, std::int32_t n) noexcept {
  for (std::int32_t i = 0; i < n; ++i) s = fused_scalar(x[i], y[i], s);
  return s;
}

float subtract_products(float s, const float* x, std::ptrdiff_t x_stride, const float* y, std::ptrdiff_t y_stride,
                        std::int32_t count) noexcept {
  for (ptrdiff_t t = 0; t < count; ++t) s = std::fma(-x[t * x_stride], y[t * y_stride], s);
  return s;
}

void subtract_scaled(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                     std::int32_t count) noexcept {
  if (count <= 0) return;
  if (y_stride == 1 && x_stride == 1) {
    // x and y may overlap only when they are the same elements.
    if (x == y) {
      for (ptrdiff_t t = 0; t < count; ++t) y[t] = std::fma(-f, x[t], y[t]);
      return;
    }
    if (kAvoidSubnormals &&
        (detail::is_tiny(f) || any_tiny(x, static_cast<size_t>(count)) || any_tiny(y, static_cast<size_t>(count)))) {
      careful_axpy<true>(y, f, x, static_cast<size_t>(count));
      return;
    }
    axpy<true>(y, f, x, static_cast<size_t>(count));
    return;
  }
  for (ptrdiff_t t = 0; t < count; ++t) y[t * y_stride] = std::fma(-f, x[t * x_stride], y[t * y_stride]);
}

void subtract_rounded_outer(float* y, std::ptrdiff_t ld, const float* c, const float* x, std::int32_t n,
                            std::int32_t count) noexcept {
  const D d;
  const size_t N = hn::Lanes(d);
  const auto un = static_cast<size_t>(n);
  const bool tiny_x = kAvoidSubnormals && any_tiny(x, un);
  if (tiny_x) {
    // Every product through double (a zero coefficient's too: its products
    // are the same zeros), x widened once per stretch of rows for all the
    // columns; the differences in single (a subnormal operand of a
    // difference is not an assisted one).
    const NarrowD dn;
    const size_t W = hn::Lanes(dn);
    size_t i = 0;
    for (; i + W <= un; i += W) {
      const WideV wx = load_wide(x + i);
      for (std::int32_t t = 0; t < count; ++t) {
        float* yt = y + static_cast<ptrdiff_t>(t) * ld + i;
        const auto p = hn::DemoteTo(dn, hn::Mul(wx, hn::Set(WideD(), static_cast<double>(c[t]))));
        hn::StoreU(hn::Sub(hn::LoadU(dn, yt), p), dn, yt);
      }
    }
    for (std::int32_t t = 0; t < count && i < un; ++t) {
      float* yt = y + static_cast<ptrdiff_t>(t) * ld;
      for (size_t r = i; r < un; ++r) yt[r] = yt[r] - detail::product_through_double(c[t], x[r]);
    }
    return;
  }
  const bool tiny_c = kAvoidSubnormals && any_tiny(c, static_cast<size_t>(count));
  for (std::int32_t t = 0; t < count; ++t) {
    float* yt = y + static_cast<ptrdiff_t>(t) * ld;
    const float ct = c[t];
    size_t i = 0;
    if (tiny_c && detail::is_tiny(ct)) {
      // Products through double; the differences in single (a subnormal
      // operand of a difference is not an assisted one).
      const NarrowD dn;
      const WideV wc = hn::Set(WideD(), static_cast<double>(ct));
      const size_t W = hn::Lanes(dn);
      for (; i + W <= un; i += W) {
        const auto p = hn::DemoteTo(dn, hn::Mul(load_wide(x + i), wc));
        hn::StoreU(hn::Sub(hn::LoadU(dn, yt + i), p), dn, yt + i);
      }
      for (; i < un; ++i) yt[i] = yt[i] - detail::product_through_double(ct, x[i]);
      continue;
    }
    const V vc = hn::Set(d, ct);
    for (; i + N <= un; i += N) hn::StoreU(hn::Sub(hn::LoadU(d, yt + i), hn::Mul(vc, hn::LoadU(d, x + i))), d, yt + i);
    if (kMaskedTails && i < un) {
      store_tail(d, hn::Sub(load_tail(d, yt + i, un - i), hn::Mul(vc, load_tail(d, x + i, un - i))), yt + i, un - i);
      continue;
    }
    for (; i < un; ++i) {
      const float p = ct * x[i];
      yt[i] = yt[i] - p;
    }
  }
}

void deflate_rank_one(float* b, std::int32_t n, float factor, const float* v) noexcept {
  const D d;
  const size_t N = hn::Lanes(d);
  const auto un = static_cast<size_t>(n);
  const V minus_factor = hn::Set(d, -factor);
  for (size_t j = 0; j < un; ++j) {
    float* bj = b + j * un;
    const V vj = hn::Set(d, v[j]);
    size_t k = 0;
    for (; k + N <= un; k += N) {
      const V outer = hn::Mul(hn::LoadU(d, v + k), vj);  // rounded first, as in the reference
      hn::StoreU(hn::MulAdd(minus_factor, outer, hn::LoadU(d, bj + k)), d, bj + k);
    }
    for (; k < un; ++k) bj[k] = std::fma(-factor, v[k] * v[j], bj[k]);
  }
}

// ---------------------------------------------------------------------------
// Blocked factorizations. Right-looking: a panel of columns is factored, the
// rows it owns are brought up to date, and the rest of the matrix receives
// the panel's terms through gemm, from its current value, in increasing
// order. Every element therefore meets the same fused steps in the same
// order as in the row-by-row reference.

constexpr std::int32_t kPanel = 64;

// x = x / pivot elementwise, each quotient correctly rounded as in the loop.
void divide(float* x, float pivot, size_t count) {
  const D d;
  const size_t N = hn::Lanes(d);
  const V vp = hn::Set(d, pivot);
  size_t i = 0;
  for (; i + N <= count; i += N) hn::StoreU(hn::Div(hn::LoadU(d, x + i), vp), d, x + i);
  for (; i < count; ++i) x[i] = x[i] / pivot;
}

constexpr ptrdiff_t kLuLeaf = 16;

// Rows [k0, k1) of columns [j0, j1) receive the terms of the unit lower
// triangle on those rows: x(i, j) -= l(i, k) * x(k, j) for k0 <= k < i in
// increasing order. Halving the rows turns most of the work into gemm.
void lower_solve(float* a, ptrdiff_t lda, ptrdiff_t k0, ptrdiff_t k1, ptrdiff_t j0, ptrdiff_t j1) {
  if (j0 >= j1 || k1 - k0 < 2) return;
  auto at = [&](ptrdiff_t i, ptrdiff_t j) -> float& { return a[i + j * lda]; };
  if (k1 - k0 <= kLuLeaf) {
    for (ptrdiff_t j = j0; j < j1; ++j) {
      for (ptrdiff_t k = k0; k < k1 - 1; ++k) {
        axpy<true>(&at(k + 1, j), at(k, j), &at(k + 1, k), static_cast<size_t>(k1 - k - 1));
      }
    }
    return;
  }
  const ptrdiff_t km = k0 + (k1 - k0) / 2;
  lower_solve(a, lda, k0, km, j0, j1);
  gemm_impl(static_cast<std::int32_t>(k1 - km), static_cast<std::int32_t>(j1 - j0), static_cast<std::int32_t>(km - k0),
            operand{&at(km, k0), 1, lda}, operand{&at(k0, j0), 1, lda}, &at(km, j0), lda, gemm_mode::subtract);
  lower_solve(a, lda, km, k1, j0, j1);
}

// Columns [c0, c1) of the compact LU (c1 <= min(rows, cols)), every term
// from the columns left of c0 already received: the left half, the rows of
// U it owns in the right half, the rest of the right half through gemm,
// then the right half.
void lu_columns(float* a, ptrdiff_t r, ptrdiff_t c0, ptrdiff_t c1) {
  const ptrdiff_t lda = r;
  auto at = [&](ptrdiff_t i, ptrdiff_t j) -> float& { return a[i + j * lda]; };
  if (c1 - c0 <= kLuLeaf) {
    for (ptrdiff_t k = c0; k < c1; ++k) {
      float* col_k = &at(0, k);
      divide(col_k + k + 1, col_k[k], static_cast<size_t>(r - k - 1));
      for (ptrdiff_t j = k + 1; j < c1; ++j) {
        axpy<true>(&at(k + 1, j), at(k, j), col_k + k + 1, static_cast<size_t>(r - k - 1));
      }
    }
    return;
  }
  const ptrdiff_t cm = c0 + (c1 - c0) / 2;
  lu_columns(a, r, c0, cm);
  lower_solve(a, lda, c0, cm, cm, c1);
  gemm_impl(static_cast<std::int32_t>(r - cm), static_cast<std::int32_t>(c1 - cm), static_cast<std::int32_t>(cm - c0),
            operand{&at(cm, c0), 1, lda}, operand{&at(c0, cm), 1, lda}, &at(cm, cm), lda, gemm_mode::subtract);
  lu_columns(a, r, cm, c1);
}

void lu(float* a, std::int32_t rows, std::int32_t cols) noexcept {
  const ptrdiff_t mn = std::min(rows, cols);
  lu_columns(a, rows, 0, mn);
  // A wide matrix: the columns right of the square part are rows of U only.
  lower_solve(a, rows, 0, mn, mn, cols);
}

// Columns [c0, c1) of the lower triangle, every term from the columns left
// of c0 already received; halves as for LU. The trailing columns take the
// left half's terms in column blocks, so that little of the scratch part
// above the diagonal is computed.
bool cholesky_columns(float* w, ptrdiff_t n, ptrdiff_t c0, ptrdiff_t c1, float eps) {
  const ptrdiff_t lda = n;
  auto at = [&](ptrdiff_t i, ptrdiff_t j) -> float& { return w[i + j * lda]; };
  if (c1 - c0 <= kLuLeaf) {
    for (ptrdiff_t k = c0; k < c1; ++k) {
      if (!(at(k, k) > eps)) return false;
      const float dk = std::sqrt(at(k, k));
      at(k, k) = dk;
      divide(&at(k + 1, k), dk, static_cast<size_t>(n - k - 1));
      for (ptrdiff_t j = k + 1; j < c1; ++j) axpy<true>(&at(j, j), at(j, k), &at(j, k), static_cast<size_t>(n - j));
    }
    return true;
  }
  const ptrdiff_t cm = c0 + (c1 - c0) / 2;
  if (!cholesky_columns(w, n, c0, cm, eps)) return false;
  for (ptrdiff_t j0 = cm; j0 < c1; j0 += kPanel) {
    const ptrdiff_t jw = std::min<ptrdiff_t>(kPanel, c1 - j0);
    gemm_impl(static_cast<std::int32_t>(n - j0), static_cast<std::int32_t>(jw), static_cast<std::int32_t>(cm - c0),
              operand{&at(j0, c0), 1, lda}, operand{&at(j0, c0), lda, 1}, &at(j0, j0), lda, gemm_mode::subtract);
  }
  return cholesky_columns(w, n, cm, c1, eps);
}

bool cholesky(float* w, std::int32_t n, float eps) noexcept {
  // The reference tests each diagonal entry after every update of it. An
  // update subtracts a square, so the entry never grows, and once it fails
  // the test (<= eps or NaN) it fails every later one: it fails somewhere
  // exactly when it fails just before its square root is taken, which is
  // where it is tested here. Every failure has the same number and message.
  return cholesky_columns(w, n, 0, n, eps);
}

constexpr std::int32_t kJordanPanel = 32;
constexpr ptrdiff_t kJordanChunk = 512;

// The pivot of x[0 .. len) as the scan "p = 0; every later i with
// |x(i)| > |x(p)| becomes p" finds it: 0 when x(0) is a NaN (nothing is
// greater than a NaN); otherwise the first i whose |x(i)| is the largest of
// the values that are not NaNs (a NaN is never greater). Without the scan's
// data-dependent branches: the largest magnitude first, then where it is.
size_t pivot_offset(const float* x, size_t len) {
  if (std::isnan(x[0])) return 0;
  const D d;
  const size_t N = hn::Lanes(d);
  // NaN lanes (and lanes past the end) count as zeros: x(0) is no NaN, so
  // the largest is at least |x(0)| >= 0 and is found among real values.
  const auto magnitude = [&](V v) { return hn::IfThenZeroElse(hn::IsNaN(v), hn::Abs(v)); };
  V best = hn::Zero(d);
  size_t i = 0;
  for (; i + N <= len; i += N) best = hn::Max(best, magnitude(hn::LoadU(d, x + i)));
  if (kMaskedTails && i < len) best = hn::Max(best, magnitude(load_tail(d, x + i, len - i)));
  float largest = hn::GetLane(hn::MaxOfLanes(d, best));
  for (size_t t = i; t < len && !kMaskedTails; ++t) {
    if (std::fabs(x[t]) > largest) largest = std::fabs(x[t]);
  }
  const V target = hn::Set(d, largest);
  for (i = 0; i + N <= len; i += N) {
    const auto found = hn::Eq(hn::Abs(hn::LoadU(d, x + i)), target);
    if (!hn::AllFalse(d, found)) return i + hn::FindKnownFirstTrue(d, found);
  }
  for (; i < len; ++i) {
    if (std::fabs(x[i]) == largest) return i;
  }
  return 0;  // not reached: the largest is one of the values
}

void swap_rows(float* y, ptrdiff_t ld, ptrdiff_t cols, ptrdiff_t i, ptrdiff_t p) {
  for (ptrdiff_t j = 0; j < cols; ++j) std::swap(y[i + j * ld], y[p + j * ld]);
}

// Gauss-Jordan, kJordanPanel columns at a time. Within a panel the steps
// run one by one on the panel's columns, keeping the multipliers f (column
// k before step k) in `mult`, with later exchanges applied to them so that
// they follow their rows. Every other column then receives the panel's
// steps at once: the exchanges in order, the panel's own rows step by step
// (scaled at their own step, updated at the others), and every other row
// through gemm, subtracting f(i, k) * (row k at step k) for k in order. Only
// columns a later step reads (or x) are carried along: a column of t is
// never read again after its own step.
template <bool kInverse>
bool jordan(float* t, float* x, ptrdiff_t n, float eps, float* det) {
  const D d;
  const size_t N = hn::Lanes(d);
  const ptrdiff_t ld = n;
  const buffer mult(static_cast<size_t>(n) * kJordanPanel);
  const buffer rows_at_step(static_cast<size_t>(kJordanPanel) * kJordanChunk);
  const buffer panel_rows(static_cast<size_t>(kJordanPanel) + 2 * N);
  if (!mult.ok() || !rows_at_step.ok() || !panel_rows.ok()) {
    const std::int32_t size = static_cast<std::int32_t>(n);
    if constexpr (kInverse) {
      return reference_kernels().gauss_jordan_inverse(t, x, size, eps);
    } else {
      *det = reference_kernels().gauss_jordan_det(t, size, eps);
      return *det != 0.0f;
    }
  }
  std::int32_t pivots[kJordanPanel];
  float recips[kJordanPanel];
  float dv = 1.0f;
  auto tt = [&](ptrdiff_t i, ptrdiff_t j) -> float& { return t[i + j * ld]; };
  for (ptrdiff_t k0 = 0; k0 < n; k0 += kJordanPanel) {
    const ptrdiff_t k1 = std::min<ptrdiff_t>(k0 + kJordanPanel, n);
    const ptrdiff_t kb = k1 - k0;
    float* f = mult.get();
    for (ptrdiff_t k = k0; k < k1; ++k) {
      const ptrdiff_t kk = k - k0;
      const ptrdiff_t p = k + static_cast<ptrdiff_t>(pivot_offset(&tt(k, k), static_cast<size_t>(n - k)));
      if (std::fabs(tt(p, k)) <= eps) {
        if (det != nullptr) *det = 0.0f;
        return false;
      }
      pivots[kk] = static_cast<std::int32_t>(p);
      if (p != k) {
        swap_rows(&tt(0, k), ld, k1 - k, k, p);
        swap_rows(f, ld, kk, k, p);
        dv = -dv;
      }
      const float r = 1.0f / tt(k, k);
      recips[kk] = r;
      dv = dv / r;
      float* fk = f + kk * ld;
      std::copy_n(&tt(0, k), n, fk);
      fk[k] = 0.0f;
      for (ptrdiff_t j = k + 1; j < k1; ++j) {
        const float s = tt(k, j) * r;
        axpy<true>(&tt(0, j), s, fk, static_cast<size_t>(n));
        tt(k, j) = s;
      }
    }
    // The deferred columns: t right of the panel, then all of x.
    auto apply = [&](float* y, ptrdiff_t cols) {
      for (ptrdiff_t j0 = 0; j0 < cols; j0 += kJordanChunk) {
        const ptrdiff_t w = std::min(kJordanChunk, cols - j0);
        float* yc = y + j0 * ld;
        for (ptrdiff_t kk = 0; kk < kb; ++kk) {
          if (pivots[kk] != k0 + kk) swap_rows(yc, ld, w, k0 + kk, pivots[kk]);
        }
        float* rk = rows_at_step.get();
        float* v = panel_rows.get();
        for (ptrdiff_t j = 0; j < w; ++j) {
          float* col = yc + j * ld + k0;
          std::copy_n(col, kb, v);
          for (ptrdiff_t kk = 0; kk < kb; ++kk) {
            const float s = v[kk] * recips[kk];
            rk[kk + j * kb] = s;
            axpy<true>(v, s, f + kk * ld + k0, static_cast<size_t>(kb));
            v[kk] = s;
          }
          std::copy_n(v, kb, col);
        }
        if (k0 > 0) {
          gemm_impl(static_cast<std::int32_t>(k0), static_cast<std::int32_t>(w), static_cast<std::int32_t>(kb),
                    operand{f, 1, ld}, operand{rk, 1, kb}, yc, ld, gemm_mode::subtract);
        }
        if (k1 < n) {
          gemm_impl(static_cast<std::int32_t>(n - k1), static_cast<std::int32_t>(w), static_cast<std::int32_t>(kb),
                    operand{f + k1, 1, ld}, operand{rk, 1, kb}, yc + k1, ld, gemm_mode::subtract);
        }
      }
    };
    if (k1 < n) apply(&tt(0, k1), n - k1);
    if constexpr (kInverse) apply(x, n);
  }
  if (det != nullptr) *det = dv;
  return true;
}

bool gauss_jordan_inverse(float* t, float* x, std::int32_t n, float eps) noexcept {
  return jordan<true>(t, x, n, eps, nullptr);
}

float gauss_jordan_det(float* t, std::int32_t n, float eps) noexcept {
  float d = 0.0f;
  jordan<false>(t, nullptr, n, eps, &d);
  return d;
}

// One step of the rank's elimination on a copy whose columns are whole
// aligned vectors (leading dimension ld, a multiple of 16; the rows past m
// are zeros and never pivot candidates), for columns j0 .. j1-1: rows row
// and p change places, and below the pivot row column j takes
// t(i, j) - s(j) t(i, col), one fused step per element, where s(j) is the
// pivot row's entry times r. The vectors from the one that holds row+1 on
// are written whole: the rows at and above the pivot row in the first of
// them are never read again. The exchange is made in the registers (the
// pivot row's old entry goes into lane p as the column is loaded), so that
// no element is stored twice within a step; t(p, col) already holds the
// pivot row's old entry. kCareful: tiny values are about, and the steps
// are careful ones.
//
// A column whose s(j) is zero would only have the signs of its zeros
// changed (with finite_x, the pivot column's vectors from row+1's on all
// finite: every product is a zero), which no later magnitude, and so no
// pivot and no rank, depends on: it takes the exchange alone. (Iterations'
// near-triangular matrices are made of such columns.)
template <bool kCareful>
void eliminate_below(float* t, ptrdiff_t ld, ptrdiff_t m, ptrdiff_t row, ptrdiff_t p, ptrdiff_t col, ptrdiff_t j0,
                     ptrdiff_t j1, float r, bool finite_x) {
  const D d;
  const hn::RebindToSigned<D> di;
  const auto N = static_cast<ptrdiff_t>(hn::Lanes(d));
  const ptrdiff_t start = (row + 1) / N * N;
  const ptrdiff_t p_vector = p / N * N;
  const auto at_p = hn::RebindMask(d, hn::Eq(hn::Iota(di, 0), hn::Set(di, static_cast<std::int32_t>(p - p_vector))));
  const float* x = t + col * ld;
  for (ptrdiff_t j = j0; j < j1; ++j) {
    float* y = t + j * ld;
    const float s = kCareful ? detail::product_through_double(y[p], r) : y[p] * r;
    if (s == 0.0f && finite_x) {
      if (p != row) y[p] = y[row];
      continue;
    }
    const V above = hn::Set(d, y[row]);
    const auto column = [&](auto step_of) {
      for (ptrdiff_t i = start; i < m; i += N) {
        V v = hn::Load(d, y + i);
        if (i == p_vector) v = hn::IfThenElse(at_p, above, v);
        hn::Store(step_of(hn::Load(d, x + i), v), d, y + i);
      }
    };
    if constexpr (kCareful) {
      const careful_factor minus_s(-s);  // y - x s = fma(x, -s, y)
      column([&](V xv, V v) { return careful_step(d, xv, minus_s, v); });
    } else {
      const V vs = hn::Set(d, s);
      column([&](V xv, V v) { return hn::NegMulAdd(xv, vs, v); });
    }
  }
}

// The rank's elimination with each column one vector held in a register
// (at most one vector of rows and kRegisterColumns columns): the same steps
// on the same elements below the pivot row, the rows at and above it left
// alone by masks. The pivot search is pivot_offset's, on the lanes.
constexpr ptrdiff_t kRegisterColumns = 32;

std::int32_t rank_in_registers(const float* t, ptrdiff_t m, ptrdiff_t cols, float eps) {
  const D d;
  const hn::RebindToSigned<D> di;
  V column[kRegisterColumns];
  const auto live = hn::FirstN(d, static_cast<size_t>(m));
  for (ptrdiff_t j = 0; j < cols; ++j) column[j] = hn::MaskedLoad(live, d, t + j * m);
  const auto lane = hn::Iota(di, 0);
  HWY_ALIGN float values[kMaxMR / 2];
  std::int32_t rank = 0;
  ptrdiff_t row = 0;
  for (ptrdiff_t col = 0; col < cols && row < m; ++col) {
    const V a = column[col];
    hn::Store(a, d, values);
    // A NaN in the pivot row's place stays the pivot, and is refused.
    if (std::isnan(values[row])) continue;
    // pivot_offset's search on the lanes from row on (the lanes past m are
    // zeros, after every real one); the reciprocals of the whole column in
    // the meantime, so that the pivot's is at hand as soon as p is known.
    const auto from_row = hn::RebindMask(d, hn::Gt(lane, hn::Set(di, static_cast<std::int32_t>(row) - 1)));
    const V magnitude = hn::Abs(a);
    const V reciprocals = hn::Div(hn::Set(d, 1.0f), a);
    const V largest = hn::MaxOfLanes(d, hn::IfThenElseZero(hn::AndNot(hn::IsNaN(magnitude), from_row), magnitude));
    if (!(hn::GetLane(largest) > eps)) continue;
    const auto p = static_cast<std::int32_t>(hn::FindKnownFirstTrue(d, hn::And(hn::Eq(magnitude, largest), from_row)));
    // Row p's entries before the exchange are the pivot row's after it.
    const auto at_p = hn::IndicesFromVec(d, hn::Set(di, p));
    const V r = hn::TableLookupLanes(reciprocals, at_p);
    const auto below = hn::RebindMask(d, hn::Gt(lane, hn::Set(di, static_cast<std::int32_t>(row))));
    const auto at_row = hn::Eq(lane, hn::Set(di, static_cast<std::int32_t>(row)));
    const auto swapped =
        hn::IfThenElse(at_row, hn::Set(di, p),
                       hn::IfThenElse(hn::Eq(lane, hn::Set(di, p)), hn::Set(di, static_cast<std::int32_t>(row)), lane));
    const auto exchange = hn::IndicesFromVec(d, swapped);
    const bool exchanged = p != row;
    const V x = exchanged ? hn::TableLookupLanes(a, exchange) : a;
    // Below the pivot row: the exchanged column minus s(j) x, s(j) the
    // pivot row's entry times r. The rows at and above it are never read
    // again.
    for (ptrdiff_t j = col + 1; j < cols; ++j) {
      const V sv = hn::Mul(hn::TableLookupLanes(column[j], at_p), r);
      const V y = exchanged ? hn::TableLookupLanes(column[j], exchange) : column[j];
      column[j] = hn::IfThenElse(below, hn::NegMulAdd(x, sv, y), y);
    }
    ++rank;
    ++row;
  }
  return rank;
}

// The rank's forward elimination, column by column, on the padded copy t
// (leading dimension ld): the rows below the pivot row take their steps in
// whole columns, and the pivot row is neither exchanged nor scaled in
// memory, since no later step reads it. Columns left of the current one
// are never read again.
template <bool kCareful>
std::int32_t forward_rank(float* t, ptrdiff_t ld, ptrdiff_t m, ptrdiff_t cols, float eps) {
  auto at = [&](ptrdiff_t i, ptrdiff_t j) -> float& { return t[i + j * ld]; };
  const auto pivot = [&](ptrdiff_t row, ptrdiff_t col) {
    return row + static_cast<ptrdiff_t>(pivot_offset(&at(row, col), static_cast<size_t>(m - row)));
  };
  std::int32_t rank = 0;
  ptrdiff_t row = 0;
  // The next column's pivot, when it is already known.
  ptrdiff_t next = -1;
  for (ptrdiff_t col = 0; col < cols && row < m; ++col) {
    const ptrdiff_t p = next >= 0 ? next : pivot(row, col);
    next = -1;
    if (!(std::fabs(at(p, col)) > eps)) continue;
    const float r = 1.0f / at(p, col);
    at(p, col) = at(row, col);
    // The next column first, and its pivot searched for at once: the
    // search then overlaps the other columns' steps.
    if (col + 1 < cols) {
      const D d;
      const auto N = static_cast<ptrdiff_t>(hn::Lanes(d));
      bool finite_x = true;
      for (ptrdiff_t i = (row + 1) / N * N; i < m; i += N) {
        finite_x = finite_x && hn::AllTrue(d, hn::IsFinite(hn::Load(d, &at(i, col))));
      }
      eliminate_below<kCareful>(t, ld, m, row, p, col, col + 1, col + 2, r, finite_x);
      if (row + 1 < m) next = pivot(row + 1, col + 1);
      eliminate_below<kCareful>(t, ld, m, row, p, col, col + 2, cols, r, finite_x);
    }
    ++rank;
    ++row;
  }
  return rank;
}

std::int32_t gauss_jordan_rank(float* t, std::int32_t rows, std::int32_t cols, float eps) noexcept {
  const ptrdiff_t m = rows;
  // Tiny values (as in the iterations' near-diagonal matrices) take the
  // careful steps, with the same bits.
  const bool careful = kAvoidSubnormals && any_tiny(t, static_cast<size_t>(m) * static_cast<size_t>(cols));
  if (kMaskedTails && !careful && m <= static_cast<ptrdiff_t>(hn::Lanes(D())) && cols <= kRegisterColumns) {
    return rank_in_registers(t, m, cols, eps);
  }
  const ptrdiff_t ld = (m + 15) / 16 * 16;
  const buffer padded(static_cast<size_t>(ld) * static_cast<size_t>(cols));
  if (!padded.ok()) return reference_kernels().gauss_jordan_rank(t, rows, cols, eps);
  float* copy = padded.get();
  for (ptrdiff_t j = 0; j < cols; ++j) {
    std::copy_n(t + j * m, m, copy + j * ld);
    std::fill(copy + j * ld + m, copy + (j + 1) * ld, 0.0f);
  }
  return careful ? forward_rank<true>(copy, ld, m, cols, eps) : forward_rank<false>(copy, ld, m, cols, eps);
}

#undef ORVIK_TILE_COLUMNS

#if HWY_TARGET == HWY_AVX2
#define ORVIK_TARGET_NAME "avx2"
#elif HWY_TARGET == HWY_AVX3
#define ORVIK_TARGET_NAME "avx512"
#else
#define ORVIK_TARGET_NAME "neon"
#endif

// rotations.cpp, compiled for the same targets.
void rotate_columns(float* a, ptrdiff_t ld, std::int32_t rows, std::int32_t count, const float* c, const float* s,
                    bool backward) noexcept;
void bidiagonal_sweep(float* d, float* e, std::int32_t count, float shift, bool downwards, float* lc, float* ls,
                      float* rc, float* rs) noexcept;

const kernel_table* fused_table() noexcept {
  static constexpr kernel_table table{ORVIK_TARGET_NAME,
                                      prod_mat,
                                      prod_vec,
                                      prod_vec_left,
                                      dot,
                                      subtract_products,
                                      subtract_scaled,
                                      subtract_rounded_outer,
                                      deflate_rank_one,
                                      gemm_impl,
                                      lu,
                                      cholesky,
                                      gauss_jordan_inverse,
                                      gauss_jordan_det,
                                      gauss_jordan_rank,
                                      rotate_columns,
                                      symmetric_rank_two,
                                      rotate_eigenvectors,
                                      reflect_columns,
                                      reflect_rows,
                                      bidiagonal_sweep};
  return &table;
}
#undef ORVIK_TARGET_NAME

#else

// No fused multiply-add instruction on this target: never dispatched to.
const kernel_table* fused_table() noexcept { return nullptr; }

#endif

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvik::kernels {

// The best compiled target this processor runs, or null.
const kernel_table* fused_kernels() noexcept {
#if HWY_ARCH_X86 && defined(__GNUC__)
  __builtin_cpu_init();
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi") &&
                    __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("sse4.2") &&
                    __builtin_cpu_supports("popcnt");
#if HWY_TARGETS & HWY_AVX3
  // ORVIK_KERNELS=avx2 keeps an AVX-512 machine on the AVX2 kernels, so
  // that one machine can test both.
  const char* wanted = std::getenv("ORVIK_KERNELS");  // NOLINT(concurrency-mt-unsafe): read once, at the first call
  const bool avx2_only = wanted != nullptr && std::strcmp(wanted, "avx2") == 0;
  if (avx2 && !avx2_only && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw")) {
    return N_AVX3::fused_table();
  }
#endif
#if HWY_TARGETS & HWY_AVX2
  if (avx2) return N_AVX2::fused_table();
#endif
#elif HWY_ARCH_ARM_A64 && (HWY_TARGETS & HWY_NEON)
  // Advanced SIMD with fused multiply-add is part of every AArch64 core.
  return N_NEON::fused_table();
#endif
  return nullptr;
}

}  // namespace orvik::kernels
#endif
