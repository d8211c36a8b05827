// The fast singular value decomposition: Householder reduction to upper
// bidiagonal form (Golub-Kahan), then implicit QR on the bidiagonal with
// Demmel-Kahan's zero-shift sweeps where relative accuracy needs them and
// shifted sweeps otherwise, each sweep chasing in the direction of the
// falling diagonal.
//
// A wide matrix is decomposed through its transpose, so the reduction always
// works on a tall copy W (rows >= cols). The copy is scaled by a power of two
// first (exact, undone on the values at the end), which keeps the norms and
// rotations far from overflow and underflow for any finite input. The
// values come from the same arithmetic whether or not the vectors are
// wanted: the reflectors and rotations of the values never depend on the
// vectors, which only receive them.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "common/min_max.hpp"
#include "common/power_of_two.hpp"
#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik {
namespace {

using std::ptrdiff_t;

// Off-diagonal entries below this many roundings of their neighbourhood are
// dropped: 10 eps keeps every value to high relative accuracy (Demmel-Kahan).
constexpr float tolerance_roundings = 10.0f;
// Inner steps allowed: this many per entry of the n x n bidiagonal.
constexpr std::int64_t steps_per_entry = 6;
// Zero-shift sweeps take over when the smallest value's estimate, relative
// to the largest, is within this part of the tolerance.
constexpr float zero_shift_share = 0.01f;
// Products and sums of squares of magnitudes inside [2^-60, 2^60] neither
// overflow nor lose bits to underflow.
constexpr float safe_low = 0x1p-60f;
constexpr float safe_high = 0x1p60f;

float eps() { return math_machine_eps(); }

// fmax and fmin for the loops that run once per entry and sweep; the
// sweep's convergence scan (bidiagonal_sweep-inl.h) takes the same minimum.
using detail::max_of;
using detail::min_of;

// sqrt(a^2 + b^2) without overflow or destructive underflow: in the safe
// range directly, elsewhere on both scaled by the same power of two.
float norm2(float a, float b) {
  const float big = std::fmax(std::fabs(a), std::fabs(b));
  if (big == 0.0f) return 0.0f;
  if (big >= safe_low && big <= safe_high) return std::sqrt(std::fma(a, a, b * b));
  const int e = detail::exponent_of(big);
  const float as = detail::times_power_of_two(a, -e);
  const float bs = detail::times_power_of_two(b, -e);
  return detail::times_power_of_two(std::sqrt(std::fma(as, as, bs * bs)), e);
}

// The two singular values of the triangle [f g; 0 h], smaller first, both
// >= 0, to high relative accuracy: ratios only, no squares of the entries.
std::pair<float, float> triangle_values(float f, float g, float h) {
  const float fa = std::fabs(f);
  const float ga = std::fabs(g);
  const float ha = std::fabs(h);
  const float lo = std::fmin(fa, ha);
  const float hi = std::fmax(fa, ha);
  if (lo == 0.0f) {
    if (hi == 0.0f) return {0.0f, ga};
    return {0.0f, norm2(hi, ga)};
  }
  if (ga < hi) {
    const float sum = 1.0f + lo / hi;
    const float diff = (hi - lo) / hi;
    const float q = ga / hi;
    const float qq = q * q;
    const float c = 2.0f / (std::sqrt(std::fma(sum, sum, qq)) + std::sqrt(std::fma(diff, diff, qq)));
    return {lo * c, hi / c};
  }
  const float q = hi / ga;
  if (q == 0.0f) {
    // g dominates beyond the range of the ratios.
    return {(lo * hi) / ga, ga};
  }
  const float sum = (1.0f + lo / hi) * q;
  const float diff = ((hi - lo) / hi) * q;
  const float c = 1.0f / (std::sqrt(std::fma(sum, sum, 1.0f)) + std::sqrt(std::fma(diff, diff, 1.0f)));
  const float small = (lo * c) * q;
  return {small + small, ga / (c + c)};
}

// The singular value decomposition of the triangle [f g; 0 h]:
// [cl sl; -sl cl] [f g; 0 h] [cr -sr; sr cr] = diag(big, small), both values
// signed, |big| >= |small|.
struct triangle_svd {
  float small;
  float big;
  float cr;
  float sr;
  float cl;
  float sl;
};

float sign_of(float x) { return std::copysign(1.0f, x); }

triangle_svd decompose_triangle(float f, float g, float h) {
  float ft = f;
  float ht = h;
  float fa = std::fabs(f);
  float ha = std::fabs(h);
  // Which entry is the largest: 1 f, 2 g, 3 h. The work is done on the
  // triangle with its larger diagonal entry first.
  int largest = 1;
  const bool swap = ha > fa;
  if (swap) {
    largest = 3;
    std::swap(ft, ht);
    std::swap(fa, ha);
  }
  const float gt = g;
  const float ga = std::fabs(g);
  float small = 0.0f;
  float big = 0.0f;
  float clt = 1.0f;
  float slt = 0.0f;
  float crt = 1.0f;
  float srt = 0.0f;
  if (ga == 0.0f) {
    small = ha;
    big = fa;
  } else {
    bool g_moderate = true;
    if (ga > fa) {
      largest = 2;
      if (fa / ga < eps()) {
        // g is so large that the values are ga and fa ha / ga to working
        // accuracy.
        g_moderate = false;
        big = ga;
        small = ha > 1.0f ? fa / (ga / ha) : (fa / ga) * ha;
        clt = 1.0f;
        slt = ht / gt;
        srt = 1.0f;
        crt = ft / gt;
      }
    }
    if (g_moderate) {
      const float dd = fa - ha;
      float l = dd == fa ? 1.0f : dd / fa;  // (fa - ha) / fa, exactly 1 when ha is negligible
      const float mq = gt / ft;
      float t = 2.0f - l;
      const float mm = mq * mq;
      const float tt = t * t;
      const float sq = std::sqrt(tt + mm);
      const float rq = l == 0.0f ? std::fabs(mq) : std::sqrt(std::fma(l, l, mm));
      const float a = 0.5f * (sq + rq);
      small = ha / a;
      big = fa * a;
      if (mm == 0.0f) {
        // m is negligible: the rotation angle from the signs alone.
        t = l == 0.0f ? std::copysign(2.0f, ft) * sign_of(gt) : gt / std::copysign(dd, ft) + mq / t;
      } else {
        t = (mq / (sq + t) + mq / (rq + l)) * (1.0f + a);
      }
      l = std::sqrt(std::fma(t, t, 4.0f));
      crt = 2.0f / l;
      srt = t / l;
      clt = std::fma(srt, mq, crt) / a;
      slt = (ht / ft) * srt / a;
    }
  }
  triangle_svd out{};
  if (swap) {
    out.cl = srt;
    out.sl = crt;
    out.cr = slt;
    out.sr = clt;
  } else {
    out.cl = clt;
    out.sl = slt;
    out.cr = crt;
    out.sr = srt;
  }
  // The signs that make the rotations reproduce the triangle.
  float sign = 1.0f;
  if (largest == 1) sign = sign_of(out.cr) * sign_of(out.cl) * sign_of(f);
  if (largest == 2) sign = sign_of(out.sr) * sign_of(out.cl) * sign_of(g);
  if (largest == 3) sign = sign_of(out.sr) * sign_of(out.sl) * sign_of(h);
  out.big = std::copysign(big, sign);
  out.small = std::copysign(small, sign * sign_of(f) * sign_of(h));
  return out;
}

// A Householder reflector H = I - tau v v^T with v(0) = 1 taking x (n values,
// `stride` apart) to (beta, 0, ..., 0): x(0) receives beta, x(1..) v's tail.
// No reflection (tau 0) when x(1..) is zero.
float make_reflector(float* x, ptrdiff_t stride, std::int32_t n) {
  if (n <= 1) return 0.0f;
  const float alpha = x[0];
  const float tail = detail::scaled_length(x + stride, stride, n - 1);
  if (tail == 0.0f) return 0.0f;
  // beta takes the sign opposite to alpha's, so alpha - beta never cancels.
  const float beta = -std::copysign(norm2(alpha, tail), alpha);
  const float tau = (beta - alpha) / beta;
  const float denominator = alpha - beta;
  for (std::int32_t i = 1; i < n; ++i) x[i * stride] = x[i * stride] / denominator;
  x[0] = beta;
  return tau;
}

// The columns of a matrix with `ld` rows, from `col0` (row 0 of the first),
// rows first .. ld-1 and `cols` columns, multiplied from the left by
// H = I - tau v v^T: w = b^T v, then w = tau w, then b = b - v w^T. `v`
// is read from index `first` on (its entries before it would be zeros).
void reflect_from_left(float* col0, std::int32_t ld, std::int32_t first, std::int32_t cols, const float* v, float tau,
                       float* w) {
  if (tau == 0.0f || cols <= 0) return;
  kernels::prod_vec_left(v + first, col0 + first, ld, w, ld - first, cols);
  for (std::int32_t j = 0; j < cols; ++j) w[j] = tau * w[j];
  kernels::gemm(ld - first, cols, 1, {v + first, 1, 0}, {w, 0, 1}, col0 + first, ld, kernels::gemm_mode::subtract);
}

// b (rows x len) = b H: w = b v, w = tau w, b = b - w v^T.
void reflect_from_right(float* b, ptrdiff_t ld, std::int32_t rows, std::int32_t len, const float* v, float tau,
                        float* w) {
  if (tau == 0.0f || rows <= 0) return;
  kernels::gemm(rows, 1, len, {b, 1, ld}, {v, 1, 0}, w, rows, kernels::gemm_mode::assign);
  for (std::int32_t i = 0; i < rows; ++i) w[i] = tau * w[i];
  kernels::gemm(rows, len, 1, {w, 1, 0}, {v, 0, 1}, b, ld, kernels::gemm_mode::subtract);
}

// The tall working problem: W (rows x cols, rows >= cols), reduced in place
// to B = Q^T W P with B upper bidiagonal (d on the diagonal, e above it).
// The reflectors' tails stay in W below the diagonal (Q's) and right of the
// superdiagonal (P's).
struct reduction {
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  std::vector<float> w;
  std::vector<float> d;
  std::vector<float> e;
  std::vector<float> tau_left;
  std::vector<float> tau_right;
};

// Panels of this many columns are reduced together while more than
// blocked_above columns remain; the rest column by column.
constexpr std::int32_t panel_width = 32;
constexpr std::int32_t blocked_above = 96;

// y (count) = y - a x for a column-major a (count x terms, leading
// dimension lda) and x with stride incx: one product-kernel call.
void subtract_product(std::int32_t count, std::int32_t terms, const float* a, std::int32_t lda, const float* x,
                      std::ptrdiff_t incx, float* y) {
  if (count <= 0 || terms <= 0) return;
  kernels::gemm(count, 1, terms, {a, 1, lda}, {x, incx, 0}, y, count, kernels::gemm_mode::subtract);
}

// The panel of columns and rows p .. p + width - 1 of W reduced with the
// trailing matrix left as it is, then the trailing matrix updated once by
// two products: W(q:, q:) -= V Y^T + X U, q = p + width (the blocked
// bidiagonalisation of Dongarra, Sorensen and Hammarling). V holds the
// panel's column reflectors (W below the diagonal, with their unit entries
// in place during the panel), U its row reflectors (W right of the
// superdiagonal, also kept transposed in ut), and X and Y the products that
// carry the reflections into the trailing matrix.
struct panel_buffers {
  std::vector<float> x;    // m x width
  std::vector<float> y;    // n x width
  std::vector<float> ut;   // n x width
  std::vector<float> v;    // m, read from the reflector's first row on
  std::vector<float> u;    // n, likewise
  std::vector<float> t;    // width + 1
  std::vector<float> row;  // n
};

void reduce_panel(reduction& r, std::int32_t p, std::int32_t width, panel_buffers& b) {
  const std::int32_t m = r.rows;
  const std::int32_t n = r.cols;
  float* w = r.w.data();
  const auto at = [&](std::int32_t i, std::int32_t j) {
    return w + static_cast<ptrdiff_t>(j) * m + static_cast<ptrdiff_t>(i);
  };
  std::fill(b.x.begin(), b.x.end(), 0.0f);
  std::fill(b.y.begin(), b.y.end(), 0.0f);
  std::fill(b.ut.begin(), b.ut.end(), 0.0f);
  float* x = b.x.data();
  float* y = b.y.data();
  float* ut = b.ut.data();
  float* t = b.t.data();
  const auto xs = [&](std::int32_t i, std::int32_t l) { return x + static_cast<ptrdiff_t>(l) * m + i; };
  const auto ys = [&](std::int32_t i, std::int32_t l) { return y + static_cast<ptrdiff_t>(l) * n + i; };
  const auto uts = [&](std::int32_t i, std::int32_t l) { return ut + static_cast<ptrdiff_t>(l) * n + i; };
  for (std::int32_t l = 0; l < width; ++l) {
    const std::int32_t i = p + l;
    // Column i brought up to date with the panel's earlier reflections.
    subtract_product(m - i, l, at(i, p), m, ys(i, 0), n, at(i, i));
    subtract_product(m - i, l, xs(i, 0), m, at(p, i), 1, at(i, i));
    const float tq = make_reflector(at(i, i), 1, m - i);
    r.tau_left[static_cast<std::size_t>(i)] = tq;
    r.d[static_cast<std::size_t>(i)] = *at(i, i);
    *at(i, i) = 1.0f;
    std::copy_n(at(i, i), m - i, b.v.begin() + i);
    const std::int32_t rest = n - i - 1;
    // Y(i+1:, l) = tq (W^T v - Y V^T v - U^T X^T v), the transposed
    // products from v's first nonzero row.
    kernels::prod_vec_left(b.v.data() + i, at(i, i + 1), m, ys(i + 1, l), m - i, rest);
    kernels::prod_vec_left(b.v.data() + i, at(i, p), m, t, m - i, l);
    subtract_product(rest, l, ys(i + 1, 0), n, t, 1, ys(i + 1, l));
    kernels::prod_vec_left(b.v.data() + i, x + i, m, t, m - i, l);
    subtract_product(rest, l, uts(i + 1, 0), n, t, 1, ys(i + 1, l));
    for (std::int32_t j = 0; j < rest; ++j) ys(i + 1, l)[j] = tq * ys(i + 1, l)[j];
    // Row i brought up to date, in a contiguous copy.
    float* row = b.row.data();
    for (std::int32_t j = 0; j < rest; ++j) row[j] = *at(i, i + 1 + j);
    subtract_product(rest, l + 1, ys(i + 1, 0), n, at(i, p), m, row);
    subtract_product(rest, l, uts(i + 1, 0), n, xs(i, 0), m, row);
    const float tp = make_reflector(row, 1, rest);
    r.tau_right[static_cast<std::size_t>(i)] = tp;
    r.e[static_cast<std::size_t>(i)] = row[0];
    row[0] = 1.0f;
    for (std::int32_t j = 0; j < rest; ++j) *at(i, i + 1 + j) = row[j];
    std::copy_n(row, rest, uts(i + 1, l));
    std::copy_n(row, rest, b.u.begin() + i + 1);
    // X(i+1:, l) = tp (W u - V Y^T u - X U u).
    const std::int32_t below = m - i - 1;
    kernels::gemm(below, 1, rest, {at(i + 1, i + 1), 1, m}, {row, 1, 0}, xs(i + 1, l), below,
                  kernels::gemm_mode::assign);
    kernels::prod_vec_left(b.u.data() + i + 1, y + i + 1, n, t, n - i - 1, l + 1);
    subtract_product(below, l + 1, at(i + 1, p), m, t, 1, xs(i + 1, l));
    if (l > 0) {
      kernels::gemm(l, 1, rest, {at(p, i + 1), 1, m}, {row, 1, 0}, t, l, kernels::gemm_mode::assign);
    }
    subtract_product(below, l, xs(i + 1, 0), m, t, 1, xs(i + 1, l));
    for (std::int32_t j = 0; j < below; ++j) xs(i + 1, l)[j] = tp * xs(i + 1, l)[j];
  }
  const std::int32_t q = p + width;
  kernels::gemm(m - q, n - q, width, {at(q, p), 1, m}, {ys(q, 0), n, 1}, at(q, q), m, kernels::gemm_mode::subtract);
  kernels::gemm(m - q, n - q, width, {xs(q, 0), 1, m}, {at(p, q), 1, m}, at(q, q), m, kernels::gemm_mode::subtract);
  for (std::int32_t i = p; i < q; ++i) {
    *at(i, i) = r.d[static_cast<std::size_t>(i)];
    *at(i, i + 1) = r.e[static_cast<std::size_t>(i)];
  }
}

void bidiagonalize(reduction& r, std::string_view refused) {
  const std::int32_t m = r.rows;
  const std::int32_t n = r.cols;
  const auto at = [&](std::int32_t i, std::int32_t j) {
    return r.w.data() + static_cast<ptrdiff_t>(j) * m + static_cast<ptrdiff_t>(i);
  };
  std::int32_t first = 0;
  if (n > blocked_above) {
    panel_buffers b;
    b.x = detail::work_buffer(static_cast<std::int64_t>(m) * panel_width, refused);
    b.y = detail::work_buffer(static_cast<std::int64_t>(n) * panel_width, refused);
    b.ut = detail::work_buffer(static_cast<std::int64_t>(n) * panel_width, refused);
    b.v = detail::work_buffer(m, refused);
    b.u = detail::work_buffer(n, refused);
    b.t = detail::work_buffer(panel_width + 1, refused);
    b.row = detail::work_buffer(n, refused);
    for (; n - first > blocked_above; first += panel_width) reduce_panel(r, first, panel_width, b);
  }
  std::vector<float> v = detail::work_buffer(m, refused);
  std::vector<float> u = detail::work_buffer(n, refused);
  std::vector<float> w = detail::work_buffer(m, refused);
  for (std::int32_t k = first; k < n; ++k) {
    // Column k below the diagonal.
    const std::int32_t len = m - k;
    const float tl = make_reflector(at(k, k), 1, len);
    r.tau_left[static_cast<std::size_t>(k)] = tl;
    r.d[static_cast<std::size_t>(k)] = *at(k, k);
    if (tl != 0.0f) {
      v[static_cast<std::size_t>(k)] = 1.0f;
      std::copy_n(at(k + 1, k), len - 1, v.begin() + k + 1);
      reflect_from_left(at(0, k + 1), m, k, n - k - 1, v.data(), tl, w.data());
    }
    if (k + 1 >= n) continue;
    // Row k right of the superdiagonal.
    const std::int32_t rlen = n - k - 1;
    const float tr = make_reflector(at(k, k + 1), m, rlen);
    r.tau_right[static_cast<std::size_t>(k)] = tr;
    r.e[static_cast<std::size_t>(k)] = *at(k, k + 1);
    if (tr != 0.0f) {
      u[0] = 1.0f;
      for (std::int32_t j = 1; j < rlen; ++j) u[static_cast<std::size_t>(j)] = *at(k, k + 1 + j);
      reflect_from_right(at(k + 1, k + 1), m, m - k - 1, rlen, u.data(), tr, w.data());
    }
  }
}

// The QR below is blocked in panels of this many columns: each panel's
// reflectors reach the columns right of it, or a factor, together as
// I - V T V^T.
constexpr std::int32_t qr_panel = 32;
// A problem at least this many times taller than wide, with at least one
// whole panel of columns, is first factored W = Q R by Householder QR, and R
// (cols x cols) is reduced instead: the two-sided reduction then works on a
// square of cols rows, and most of the work moves into the QR's
// matrix-matrix updates. (Narrower problems keep the direct reduction, and
// with it the bits they have always had.)
constexpr std::int32_t qr_first_ratio = 2;
constexpr std::int32_t qr_first_cols = qr_panel;

// A panel's reflectors in block form: V (rows x width, unit lower
// trapezoidal, the tails read from W below the diagonal from row and column
// `first`) and the upper triangular T (width x width, leading dimension
// qr_panel) with H_first ... H_first+width-1 = I - V T V^T.
struct qr_block {
  std::vector<float> v;
  std::vector<float> t;
  std::vector<float> s;
  std::vector<float> y;
  std::vector<float> z;
};

void make_qr_block(const float* w, std::int32_t m, std::int32_t first, std::int32_t width, const float* tau,
                   qr_block& b) {
  const std::int32_t rows = m - first;
  std::fill_n(b.v.begin(), static_cast<std::size_t>(rows) * static_cast<std::size_t>(width), 0.0f);
  std::fill(b.t.begin(), b.t.end(), 0.0f);
  for (std::int32_t l = 0; l < width; ++l) {
    float* col = b.v.data() + static_cast<ptrdiff_t>(l) * rows;
    col[l] = 1.0f;
    std::copy_n(w + static_cast<ptrdiff_t>(first + l) * m + first + l + 1, rows - l - 1, col + l + 1);
    // T(0:l, l) = -tau_l T(0:l, 0:l) V(:, 0:l)^T v_l, v_l zero above row l.
    float* tcol = b.t.data() + static_cast<ptrdiff_t>(l) * qr_panel;
    if (l > 0) {
      kernels::prod_vec_left(col + l, b.v.data() + l, rows, b.s.data(), rows - l, l);
      kernels::gemm(l, 1, l, {b.t.data(), 1, qr_panel}, {b.s.data(), 1, 0}, tcol, l, kernels::gemm_mode::assign);
      for (std::int32_t i = 0; i < l; ++i) tcol[i] = -tau[l] * tcol[i];
    }
    tcol[l] = tau[l];
  }
}

// C (rows x cols, leading dimension ldc; rows those of the block) times
// I - V T^T V^T (`transposed`, the reflectors applied first to last) or
// I - V T V^T (last to first): C = C - V (op(T) (V^T C)).
void apply_qr_block(qr_block& b, std::int32_t rows, std::int32_t width, bool transposed, float* c, std::int32_t ldc,
                    std::int32_t cols) {
  if (cols <= 0) return;
  kernels::gemm(width, cols, rows, {b.v.data(), rows, 1}, {c, 1, ldc}, b.y.data(), width, kernels::gemm_mode::assign);
  const kernels::operand t =
      transposed ? kernels::operand{b.t.data(), qr_panel, 1} : kernels::operand{b.t.data(), 1, qr_panel};
  kernels::gemm(width, cols, width, t, {b.y.data(), 1, width}, b.z.data(), width, kernels::gemm_mode::assign);
  kernels::gemm(rows, cols, width, {b.v.data(), 1, rows}, {b.z.data(), 1, width}, c, ldc, kernels::gemm_mode::subtract);
}

qr_block qr_buffers(std::int32_t m, std::int32_t cols, std::string_view refused) {
  qr_block b;
  b.v = detail::work_buffer(static_cast<std::int64_t>(m) * qr_panel, refused);
  b.t = detail::work_buffer(static_cast<std::int64_t>(qr_panel) * qr_panel, refused);
  b.s = detail::work_buffer(qr_panel, refused);
  b.y = detail::work_buffer(static_cast<std::int64_t>(qr_panel) * cols, refused);
  b.z = detail::work_buffer(static_cast<std::int64_t>(qr_panel) * cols, refused);
  return b;
}

// W (m x n, m >= n) = Q R in place: R on and above the diagonal, the
// reflectors' tails below it, their factors in tau. Each panel is reduced
// column by column, then the columns right of it are updated in one block.
void factor_qr(float* w, std::int32_t m, std::int32_t n, float* tau, std::string_view refused) {
  qr_block b = qr_buffers(m, n, refused);
  std::vector<float> v = detail::work_buffer(m, refused);
  std::vector<float> scratch = detail::work_buffer(qr_panel, refused);
  for (std::int32_t p = 0; p < n; p += qr_panel) {
    const std::int32_t width = std::min(qr_panel, n - p);
    for (std::int32_t l = 0; l < width; ++l) {
      const std::int32_t k = p + l;
      float* col = w + static_cast<ptrdiff_t>(k) * m;
      tau[k] = make_reflector(col + k, 1, m - k);
      if (tau[k] == 0.0f || l + 1 == width) continue;
      v[static_cast<std::size_t>(k)] = 1.0f;
      std::copy_n(col + k + 1, m - k - 1, v.begin() + k + 1);
      reflect_from_left(col + m, m, k, width - l - 1, v.data(), tau[k], scratch.data());
    }
    if (p + width == n) break;
    make_qr_block(w, m, p, width, tau + p, b);
    apply_qr_block(b, m - p, width, true, w + static_cast<ptrdiff_t>(p + width) * m + p, m, n - p - width);
  }
}

// x (m x cols, its first n rows given) = Q x, the factorization's reflectors
// applied last panel first.
void apply_q(const float* w, std::int32_t m, std::int32_t n, const float* tau, float* x, std::int32_t cols,
             std::string_view refused) {
  qr_block b = qr_buffers(m, cols, refused);
  for (std::int32_t p = (n - 1) / qr_panel * qr_panel; p >= 0; p -= qr_panel) {
    const std::int32_t width = std::min(qr_panel, n - p);
    make_qr_block(w, m, p, width, tau + p, b);
    apply_qr_block(b, m - p, width, false, x + p, m, cols);
  }
}

// Q's first `count` columns (count >= cols), rows x count: the reflectors
// applied to the identity's columns, last reflector first, each only on the
// block it can change.
std::vector<float> form_left(const reduction& r, std::int32_t count, std::string_view refused) {
  const std::int32_t m = r.rows;
  std::vector<float> q = detail::work_buffer(static_cast<std::int64_t>(m) * count, refused);
  for (std::int32_t j = 0; j < count; ++j) q[static_cast<std::size_t>(j) * static_cast<std::size_t>(m + 1)] = 1.0f;
  std::vector<float> v = detail::work_buffer(m, refused);
  std::vector<float> w = detail::work_buffer(count, refused);
  for (std::int32_t k = r.cols - 1; k >= 0; --k) {
    const float tau = r.tau_left[static_cast<std::size_t>(k)];
    if (tau == 0.0f) continue;
    const std::int32_t len = m - k;
    v[static_cast<std::size_t>(k)] = 1.0f;
    const float* tail = r.w.data() + static_cast<ptrdiff_t>(k) * m + k + 1;
    std::copy_n(tail, len - 1, v.begin() + k + 1);
    reflect_from_left(q.data() + static_cast<ptrdiff_t>(k) * m, m, k, count - k, v.data(), tau, w.data());
  }
  return q;
}

// P (cols x cols) likewise from the row reflectors, which act on the
// indices after their own.
std::vector<float> form_right(const reduction& r, std::string_view refused) {
  const std::int32_t m = r.rows;
  const std::int32_t n = r.cols;
  std::vector<float> p = detail::work_buffer(static_cast<std::int64_t>(n) * n, refused);
  for (std::int32_t j = 0; j < n; ++j) p[static_cast<std::size_t>(j) * static_cast<std::size_t>(n + 1)] = 1.0f;
  std::vector<float> v = detail::work_buffer(n, refused);
  std::vector<float> w = detail::work_buffer(n, refused);
  for (std::int32_t k = n - 2; k >= 0; --k) {
    const float tau = r.tau_right[static_cast<std::size_t>(k)];
    if (tau == 0.0f) continue;
    const std::int32_t len = n - k - 1;
    v[static_cast<std::size_t>(k) + 1] = 1.0f;
    for (std::int32_t j = 1; j < len; ++j) {
      const std::size_t c = static_cast<std::size_t>(k) + 1 + static_cast<std::size_t>(j);
      v[c] = r.w[c * static_cast<std::size_t>(m) + static_cast<std::size_t>(k)];
    }
    reflect_from_left(p.data() + static_cast<ptrdiff_t>(k + 1) * n, n, k + 1, len, v.data(), tau, w.data());
  }
  return p;
}

// Where the rotations of the bidiagonal iteration go: the columns of the
// left factor (left_rows x n) and of the right one (right_rows x n); null
// when only the values are wanted.
struct accumulators {
  float* left = nullptr;
  std::int32_t left_rows = 0;
  float* right = nullptr;
  std::int32_t right_rows = 0;
};

// The rotations of one sweep, for the left and the right factor.
struct sweep_rotations {
  std::vector<float> lc, ls, rc, rs;
};

void apply(float* x, std::int32_t rows, std::int32_t first, std::int32_t count, const std::vector<float>& c,
           const std::vector<float>& s, bool backward) {
  if (x == nullptr) return;
  kernels::rotate_columns(x + static_cast<ptrdiff_t>(first) * rows, rows, rows, count, c.data(), s.data(), backward);
}

// Implicit QR on the upper bidiagonal (d, e) of order n until every
// superdiagonal entry is negligible; the rotations go to `acc`. False when
// the step budget runs out first.
bool bidiagonal_qr(std::vector<float>& d, std::vector<float>& e, const accumulators& acc, sweep_rotations& rot) {
  const auto n = static_cast<std::int32_t>(d.size());
  if (n <= 1) return true;
  const float tol = tolerance_roundings * eps();
  const float zero_shift_below = std::fmax(eps(), zero_shift_share * tol);
  const float unfl = std::numeric_limits<float>::min();
  const auto ad = [&](std::int32_t i) { return std::fabs(d[static_cast<std::size_t>(i)]); };
  const auto ae = [&](std::int32_t i) { return std::fabs(e[static_cast<std::size_t>(i)]); };

  // A lower bound on the smallest value, for the absolute threshold.
  float smin_estimate = ad(0);
  if (smin_estimate != 0.0f) {
    float mu = smin_estimate;
    for (std::int32_t i = 1; i < n; ++i) {
      mu = ad(i) * (mu / (mu + ae(i - 1)));
      smin_estimate = min_of(smin_estimate, mu);
      if (smin_estimate == 0.0f) break;
    }
  }
  smin_estimate = smin_estimate / std::sqrt(static_cast<float>(n));
  const float thresh = std::fmax(tol * smin_estimate, static_cast<float>(steps_per_entry) * static_cast<float>(n) *
                                                          (static_cast<float>(n) * unfl));
  const std::int64_t budget = steps_per_entry * static_cast<std::int64_t>(n) * n;
  std::int64_t steps = 0;
  std::int32_t old_top = -1;
  std::int32_t old_bottom = -1;
  bool downwards = true;
  std::int32_t bottom = n - 1;
  // The convergence scan the last sweep made on its block [old_top,
  // old_bottom] as it left it: while the next block keeps the end that
  // scan started from (the top downwards, the bottom upwards), nothing in
  // it has changed since (a changed entry would be a zero, and a split),
  // and the scan over it is a prefix of that one.
  std::vector<float> minima(static_cast<std::size_t>(n) + 1);
  bool scanned = false;
  std::int32_t scanned_split = -1;

  while (bottom > 0) {
    if (steps >= budget) return false;
    // The unreduced block top .. bottom, and its largest entry.
    float smax = ad(bottom);
    std::int32_t top = 0;
    bool deflated = false;
    for (std::int32_t i = bottom - 1; i >= 0; --i) {
      if (ae(i) <= thresh) {
        e[static_cast<std::size_t>(i)] = 0.0f;
        if (i == bottom - 1) {
          --bottom;
          deflated = true;
        } else {
          top = i + 1;
        }
        break;
      }
      smax = max_of(smax, max_of(ad(i), ae(i)));
    }
    if (deflated) continue;

    if (top == bottom - 1) {
      // A 2 x 2 block: decomposed directly.
      const triangle_svd t = decompose_triangle(d[static_cast<std::size_t>(top)], e[static_cast<std::size_t>(top)],
                                                d[static_cast<std::size_t>(bottom)]);
      d[static_cast<std::size_t>(top)] = t.big;
      e[static_cast<std::size_t>(top)] = 0.0f;
      d[static_cast<std::size_t>(bottom)] = t.small;
      rot.rc[0] = t.cr;
      rot.rs[0] = t.sr;
      rot.lc[0] = t.cl;
      rot.ls[0] = t.sl;
      apply(acc.right, acc.right_rows, top, 1, rot.rc, rot.rs, false);
      apply(acc.left, acc.left_rows, top, 1, rot.lc, rot.ls, false);
      bottom -= 2;
      continue;
    }

    // A new block chooses its direction: chase from the larger end.
    if (top > old_bottom || bottom < old_top) downwards = ad(top) >= ad(bottom);

    // Convergence tests, relative to the running estimate of the smallest
    // value as seen from the end the chase starts at.
    float sminl = 0.0f;
    bool split = false;
    const bool reuse = scanned && (downwards ? top == old_top : bottom == old_bottom);
    if (reuse) {
      // The same tests on the same values as the loops below.
      if (downwards ? ae(bottom - 1) <= tol * ad(bottom) : ae(top) <= tol * ad(top)) {
        e[static_cast<std::size_t>(downwards ? bottom - 1 : top)] = 0.0f;
        continue;
      }
      const std::int32_t at = scanned_split < 0 ? -1 : old_top + scanned_split;
      if (at >= 0 && (downwards ? at < bottom : at >= top)) {
        e[static_cast<std::size_t>(at)] = 0.0f;
        continue;
      }
      sminl = minima[static_cast<std::size_t>((downwards ? bottom : top) - old_top)];
    } else if (downwards) {
      if (ae(bottom - 1) <= tol * ad(bottom)) {
        e[static_cast<std::size_t>(bottom - 1)] = 0.0f;
        continue;
      }
      float mu = ad(top);
      sminl = mu;
      for (std::int32_t i = top; i < bottom; ++i) {
        if (ae(i) <= tol * mu) {
          e[static_cast<std::size_t>(i)] = 0.0f;
          split = true;
          break;
        }
        mu = ad(i + 1) * (mu / (mu + ae(i)));
        sminl = min_of(sminl, mu);
      }
    } else {
      if (ae(top) <= tol * ad(top)) {
        e[static_cast<std::size_t>(top)] = 0.0f;
        continue;
      }
      float mu = ad(bottom);
      sminl = mu;
      for (std::int32_t i = bottom - 1; i >= top; --i) {
        if (ae(i) <= tol * mu) {
          e[static_cast<std::size_t>(i)] = 0.0f;
          split = true;
          break;
        }
        mu = ad(i) * (mu / (mu + ae(i)));
        sminl = min_of(sminl, mu);
      }
    }
    if (split) continue;
    old_top = top;
    old_bottom = bottom;

    // The shift: zero where it would spoil the smallest value's relative
    // accuracy, else the smaller value of the trailing (or leading) 2 x 2.
    float shift = 0.0f;
    if (!(static_cast<float>(n) * tol * (sminl / smax) <= zero_shift_below)) {
      float sll = 0.0f;
      if (downwards) {
        sll = ad(top);
        shift = triangle_values(d[static_cast<std::size_t>(bottom - 1)], e[static_cast<std::size_t>(bottom - 1)],
                                d[static_cast<std::size_t>(bottom)])
                    .first;
      } else {
        sll = ad(bottom);
        shift = triangle_values(d[static_cast<std::size_t>(top)], e[static_cast<std::size_t>(top)],
                                d[static_cast<std::size_t>(top) + 1])
                    .first;
      }
      if (sll > 0.0f) {
        const float q = shift / sll;
        if (q * q < eps()) shift = 0.0f;
      }
    }
    steps += bottom - top;
    const std::int32_t count = bottom - top;
    scanned_split = kernels::bidiagonal_sweep(d.data() + top, e.data() + top, count, shift, downwards, rot.lc.data(),
                                              rot.ls.data(), rot.rc.data(), rot.rs.data(), tol, minima.data());
    scanned = true;
    if (downwards) {
      apply(acc.right, acc.right_rows, top, count, rot.rc, rot.rs, false);
      apply(acc.left, acc.left_rows, top, count, rot.lc, rot.ls, false);
      if (ae(bottom - 1) <= thresh) e[static_cast<std::size_t>(bottom - 1)] = 0.0f;
    } else {
      apply(acc.left, acc.left_rows, top, count, rot.lc, rot.ls, true);
      apply(acc.right, acc.right_rows, top, count, rot.rc, rot.rs, true);
      if (ae(top) <= thresh) e[static_cast<std::size_t>(top)] = 0.0f;
    }
  }
  return true;
}

// The column p of a (rows x *) negated.
void negate_column(float* a, std::int32_t rows, std::int32_t p) {
  float* col = a + static_cast<ptrdiff_t>(p) * rows;
  for (std::int32_t i = 0; i < rows; ++i) col[i] = -col[i];
}

void swap_columns(float* a, std::int32_t rows, std::int32_t p, std::int32_t q) {
  std::swap_ranges(a + static_cast<ptrdiff_t>(p) * rows, a + static_cast<ptrdiff_t>(p + 1) * rows,
                   a + static_cast<ptrdiff_t>(q) * rows);
}

// The values made >= 0 (a negative one moves its sign into the right
// factor) and sorted non-increasing, the factors' columns following: at
// each place the largest of the rest, the first of equals.
void order_values(std::vector<float>& d, const accumulators& acc) {
  const auto n = static_cast<std::int32_t>(d.size());
  for (std::int32_t i = 0; i < n; ++i) {
    if (d[static_cast<std::size_t>(i)] < 0.0f) {
      d[static_cast<std::size_t>(i)] = -d[static_cast<std::size_t>(i)];
      if (acc.right != nullptr) negate_column(acc.right, acc.right_rows, i);
    }
  }
  for (std::int32_t i = 0; i + 1 < n; ++i) {
    std::int32_t p = i;
    for (std::int32_t j = i + 1; j < n; ++j) {
      if (d[static_cast<std::size_t>(j)] > d[static_cast<std::size_t>(p)]) p = j;
    }
    if (p == i) continue;
    std::swap(d[static_cast<std::size_t>(i)], d[static_cast<std::size_t>(p)]);
    if (acc.left != nullptr) {
      swap_columns(acc.left, acc.left_rows, i, p);
      swap_columns(acc.right, acc.right_rows, i, p);
    }
  }
}

// Everything both operations share: the checks, the scaled tall copy, the
// reduction and the iteration. With vectors, `left` (rows x left_cols) and
// `right` (cols x cols) of the tall problem are formed and rotated.
struct outcome {
  reduction r;
  int scale_exponent = 0;
  bool transposed = false;
  std::vector<float> left;
  std::vector<float> right;
};

outcome decompose(const t_matrix& a, bool vectors, bool full, std::string_view name) {
  const std::string_view refused = name == "m_svd" ? "m_svd::allocate error" : "m_svd_values::allocate error";
  float big = 0.0f;
  for (const float x : a.elements) {
    if (!std::isfinite(x)) {
      detail::m_fail(name == "m_svd" ? "m_svd::matrix has an entry that is not finite"
                                     : "m_svd_values::matrix has an entry that is not finite",
                     300);
    }
    big = std::fmax(big, std::fabs(x));
  }
  outcome out;
  reduction& r = out.r;
  out.transposed = a.rows < a.cols;
  r.rows = std::max(a.rows, a.cols);
  r.cols = std::min(a.rows, a.cols);
  const std::int32_t m = r.rows;
  const std::int32_t n = r.cols;
  r.w = detail::work_buffer(static_cast<std::int64_t>(m) * n, refused);
  r.d = detail::work_buffer(n, refused);
  r.e = detail::work_buffer(std::max(n - 1, 0), refused);
  r.tau_left = detail::work_buffer(n, refused);
  r.tau_right = detail::work_buffer(n, refused);
  // The largest magnitude scaled into [1/2, 1): a power of two, exact.
  out.scale_exponent = big > 0.0f ? detail::exponent_of(big) : 0;
  for (std::int32_t j = 0; j < a.cols; ++j) {
    for (std::int32_t i = 0; i < a.rows; ++i) {
      const float x =
          a.elements[static_cast<std::size_t>(j) * static_cast<std::size_t>(a.rows) + static_cast<std::size_t>(i)];
      const std::size_t to = out.transposed ? static_cast<std::size_t>(i) * static_cast<std::size_t>(m) + j
                                            : static_cast<std::size_t>(j) * static_cast<std::size_t>(m) + i;
      r.w[to] = detail::times_power_of_two(x, -out.scale_exponent);
    }
  }
  if (n == 0) return out;
  // A tall problem: W = Q R, and R goes through the reduction.
  const bool qr_first = n >= qr_first_cols && m >= qr_first_ratio * n;
  std::vector<float> qr;
  std::vector<float> qr_tau;
  if (qr_first) {
    qr_tau = detail::work_buffer(n, refused);
    factor_qr(r.w.data(), m, n, qr_tau.data(), refused);
    qr = detail::work_buffer(static_cast<std::int64_t>(n) * n, refused);
    for (std::int32_t j = 0; j < n; ++j) {
      std::copy_n(r.w.begin() + static_cast<ptrdiff_t>(j) * m, j + 1, qr.begin() + static_cast<ptrdiff_t>(j) * n);
    }
    std::swap(qr, r.w);
    r.rows = n;
  }
  bidiagonalize(r, refused);
  accumulators acc;
  if (vectors) {
    out.left = form_left(r, qr_first ? n : full ? m : n, refused);
    out.right = form_right(r, refused);
    acc = {out.left.data(), r.rows, out.right.data(), n};
  }
  sweep_rotations rot;
  for (auto* buffer : {&rot.lc, &rot.ls, &rot.rc, &rot.rs}) *buffer = detail::work_buffer(n, refused);
  if (!bidiagonal_qr(r.d, r.e, acc, rot)) {
    detail::m_fail(name == "m_svd" ? "m_svd::svd method diverge" : "m_svd_values::svd method diverge", 301);
  }
  order_values(r.d, acc);
  for (float& x : r.d) x = detail::times_power_of_two(x, out.scale_exponent);
  if (qr_first && vectors) {
    // The left factor Q [U_R 0; 0 I] (full) or Q [U_R; 0] (thin).
    const std::int32_t count = full ? m : n;
    std::vector<float> u = detail::work_buffer(static_cast<std::int64_t>(m) * count, refused);
    for (std::int32_t j = 0; j < n; ++j) {
      std::copy_n(out.left.begin() + static_cast<ptrdiff_t>(j) * n, n, u.begin() + static_cast<ptrdiff_t>(j) * m);
    }
    for (std::int32_t j = n; j < count; ++j) u[static_cast<std::size_t>(j) * static_cast<std::size_t>(m + 1)] = 1.0f;
    apply_q(qr.data(), m, n, qr_tau.data(), u.data(), count, refused);
    out.left = std::move(u);
  }
  if (qr_first) r.rows = m;
  return out;
}

// Column j of a (rows x *) made to have its entry of largest magnitude (the
// first of equals) positive; true when it was negated.
bool normalise_sign(float* a, std::int32_t rows, std::int32_t j) {
  const float* col = a + static_cast<ptrdiff_t>(j) * rows;
  std::int32_t p = 0;
  for (std::int32_t i = 1; i < rows; ++i) {
    if (std::fabs(col[i]) > std::fabs(col[p])) p = i;
  }
  if (rows == 0 || !(col[p] < 0.0f)) return false;
  negate_column(a, rows, j);
  return true;
}

// A result matrix of rows x cols holding `values`: made with m_init, or
// with m_zeros where a size is 0 (m_init refuses empty shapes).
t_matrix result_matrix(std::int32_t rows, std::int32_t cols, std::vector<float>&& values) {
  t_matrix out;
  if (rows == 0 || cols == 0) return m_zeros(rows, cols);
  m_init(out, rows, cols);
  out.elements.swap(values);
  return out;
}

}  // namespace

t_vector m_svd_values(const t_matrix& a) {
  detail::m_require_allocated(a, "m_svd_values::matrix not allocated");
  outcome out = decompose(a, false, false, "m_svd_values");
  const auto k = static_cast<std::int32_t>(out.r.d.size());
  if (k == 0) return v_zeros(0);
  t_vector values;
  v_init(values, k);
  std::copy(out.r.d.begin(), out.r.d.end(), values.elements.begin());
  return values;
}

t_svd m_svd(const t_matrix& a, std::optional<bool> full) {
  detail::m_require_allocated(a, "m_svd::matrix not allocated");
  const bool whole = full.value_or(false);
  outcome out = decompose(a, true, whole, "m_svd");
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  const std::int32_t k = std::min(m, n);
  const std::int32_t tall_rows = out.r.rows;
  if (k == 0) {
    // Nothing to decompose: the full factors are identities.
    out.left =
        detail::work_buffer(whole ? static_cast<std::int64_t>(tall_rows) * tall_rows : 0, "m_svd::allocate error");
    if (whole) {
      for (std::int32_t j = 0; j < tall_rows; ++j) {
        out.left[static_cast<std::size_t>(j) * static_cast<std::size_t>(tall_rows + 1)] = 1.0f;
      }
    }
  }
  // The tall problem's factors: left tall_rows x (whole ? tall_rows : k),
  // right tall_cols x tall_cols; a wide A takes them the other way round.
  std::vector<float>& u = out.transposed ? out.right : out.left;
  std::vector<float>& v = out.transposed ? out.left : out.right;
  const std::int32_t u_cols = whole ? m : k;
  const std::int32_t v_cols = whole ? n : k;
  // The thin right factor of a wide A is the first k columns of its full
  // left factor of the transpose; the buffers already hold exactly that.
  for (std::int32_t j = 0; j < u_cols; ++j) {
    if (normalise_sign(u.data(), m, j) && j < k) negate_column(v.data(), n, j);
  }
  for (std::int32_t j = k; j < v_cols; ++j) normalise_sign(v.data(), n, j);

  t_svd svd;
  std::vector<float> s = detail::work_buffer(
      whole ? static_cast<std::int64_t>(m) * n : static_cast<std::int64_t>(k) * k, "m_svd::allocate error");
  const std::int32_t s_rows = whole ? m : k;
  for (std::int32_t i = 0; i < k; ++i) {
    s[static_cast<std::size_t>(i) * static_cast<std::size_t>(s_rows + 1)] = out.r.d[static_cast<std::size_t>(i)];
  }
  svd.S = result_matrix(s_rows, whole ? n : k, std::move(s));
  v.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(v_cols));
  svd.V = result_matrix(n, v_cols, std::move(v));
  u.resize(static_cast<std::size_t>(m) * static_cast<std::size_t>(u_cols));
  svd.U = result_matrix(m, u_cols, std::move(u));
  return svd;
}

}  // namespace orvik
