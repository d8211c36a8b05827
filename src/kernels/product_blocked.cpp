// The general product (gemm, prod_mat): a and b packed into cache blocks
// and a register tile of two vectors of rows by kNR columns, the tile's
// careful twin where tiny values appear. The shapes that need no packing
// go to product_small.cpp first. Every output receives its terms in
// increasing order, one fused multiply-add each, from its start: a later
// block of terms continues from what the earlier one stored.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/product_blocked.cpp"
#include "kernels/targets-inl.h"  // IWYU pragma: keep

#include "kernels/fast_kernels-inl.h"
#include "kernels/kernels.hpp"
#include "kernels/through_double-inl.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

#if ORVIK_FAST_TARGET

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
// Cache blocks: a kc x kNR sliver of b stays in L1, an mc x kc block of a
// in L2, a kc x nc panel of b in L3. Together about 2.3 MiB per call.
constexpr size_t kKC = 256;
constexpr size_t kMC = 192;
constexpr size_t kNC = 2040;

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

// kc x nc block of b into slivers of kNR columns, each kc rows of kNR
// values; columns past nc are zeros.
void pack_b(operand b, size_t kc, size_t nc, float* HWY_RESTRICT out) {
  for (size_t jr = 0; jr < nc; jr += kNR) {
    const size_t w = std::min(kNR, nc - jr);
    float* dst = out + jr * kc;
    if (b.col_stride == 1 && b.row_stride != 1) {
      // Row-major b (a transposed operand): each group is a stretch of a row.
      for (size_t l = 0; l < kc; ++l) {
        std::memcpy(dst + l * kNR, b.data + static_cast<ptrdiff_t>(l) * b.row_stride + jr, w * sizeof(float));
        std::fill(dst + l * kNR + w, dst + (l + 1) * kNR, 0.0f);
      }
      continue;
    }
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

// The packing storage of the blocked product, kept by each thread from one
// product to the next and grown as needed (to at most the cache blocks'
// 2.3 MiB): asking the allocator for it at every call would cost page
// faults whenever the allocator hands the pages back in between. The
// blocked product calls nothing that packs, so one per thread suffices; it
// is never shared between threads.
class packing_storage {
 public:
  packing_storage() = default;
  packing_storage(const packing_storage&) = delete;
  packing_storage& operator=(const packing_storage&) = delete;
  ~packing_storage() { release(); }
  // Room for count floats, 64-byte aligned, or null when it cannot be had.
  float* get(size_t count) {
    if (count > capacity_) {
      release();
      data_ = static_cast<float*>(::operator new (count * sizeof(float), std::align_val_t{64}, std::nothrow));
      capacity_ = data_ != nullptr ? count : 0;
    }
    return data_;
  }

 private:
  void release() {
    if (data_ != nullptr) ::operator delete (data_, std::align_val_t{64});
    data_ = nullptr;
    capacity_ = 0;
  }
  float* data_ = nullptr;
  size_t capacity_ = 0;
};

thread_local packing_storage packing;

template <bool kSubtract>
bool gemm_blocked(size_t m, size_t n, size_t k, operand a, operand b, float* c, ptrdiff_t ldc, bool from_zero) {
  const D d;
  const size_t mr = 2 * hn::Lanes(d);
  const size_t nc_max = std::min(kNC, (n + kNR - 1) / kNR * kNR);
  const size_t kc_max = std::min(kKC, k);
  const size_t mc_max = std::min(kMC, (m + mr - 1) / mr * mr);
  // Both parts 64-byte aligned.
  const size_t b_part = (kc_max * nc_max + 15) / 16 * 16;
  float* const packed_b = packing.get(b_part + mc_max * kc_max);
  if (packed_b == nullptr) return false;
  float* const packed_a = packed_b + b_part;
  alignas(64) float edge[kMaxMR * kNR];
  for (size_t jc = 0; jc < n; jc += kNC) {
    const size_t nc = std::min(kNC, n - jc);
    for (size_t pc = 0; pc < k; pc += kKC) {
      const size_t kc = std::min(kKC, k - pc);
      // Later blocks of terms continue from what the earlier ones stored.
      const bool load = !(from_zero && pc == 0);
      pack_b(operand{b.data + static_cast<ptrdiff_t>(pc) * b.row_stride + static_cast<ptrdiff_t>(jc) * b.col_stride,
                     b.row_stride, b.col_stride},
             kc, nc, packed_b);
      const bool tiny_b = kAvoidSubnormals && any_tiny(packed_b, kc * ((nc + kNR - 1) / kNR * kNR));
      for (size_t ic = 0; ic < m; ic += kMC) {
        const size_t mc = std::min(kMC, m - ic);
        pack_a(operand{a.data + static_cast<ptrdiff_t>(ic) * a.row_stride + static_cast<ptrdiff_t>(pc) * a.col_stride,
                       a.row_stride, a.col_stride},
               mc, kc, mr, packed_a);
        const bool careful = tiny_b || (kAvoidSubnormals && any_tiny(packed_a, kc * ((mc + mr - 1) / mr * mr)));
        const auto tile = careful ? careful_tile<kSubtract> : micro_tile<kSubtract>;
        for (size_t jr = 0; jr < nc; jr += kNR) {
          const size_t w = std::min(kNR, nc - jr);
          const float* pb = packed_b + jr * kc;
          for (size_t ir = 0; ir < mc; ir += mr) {
            const size_t h = std::min(mr, mc - ir);
            const float* pa = packed_a + ir * kc;
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
  if (small_product(um, un, uk, a, b, c, ldc, mode)) return;
  const bool done = mode == gemm_mode::subtract
                        ? gemm_blocked<true>(um, un, uk, a, b, c, ldc, false)
                        : gemm_blocked<false>(um, un, uk, a, b, c, ldc, mode == gemm_mode::assign);
  // Nothing of c has been touched when the packing buffers were refused.
  if (!done) reference_kernels().gemm(m, n, k, a, b, c, ldc, mode);
}

void prod_mat(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p, std::int32_t n) noexcept {
  gemm_impl(m, n, p, operand{a, 1, m}, operand{b, 1, p}, c, m, gemm_mode::assign);
}

#undef ORVIK_TILE_COLUMNS

#endif  // ORVIK_FAST_TARGET

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
