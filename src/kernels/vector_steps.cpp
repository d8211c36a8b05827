// The one-vector kernels: the dot product, the running difference of
// products, y - f x (careful steps through double where tiny values
// appear), Gram-Schmidt's rounded projections and the deflation's rank-one
// correction.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/vector_steps.cpp"
#include "kernels/targets-inl.h"  // IWYU pragma: keep

#include "kernels/fast_kernels-inl.h"
#include "kernels/kernels.hpp"
#include "kernels/through_double-inl.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

#if ORVIK_FAST_TARGET

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

#endif  // ORVIK_FAST_TARGET

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
