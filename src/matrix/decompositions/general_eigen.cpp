// Eigenvalues and right eigenvectors of a general square matrix: balancing
// by powers of two, Householder reduction to Hessenberg form, the Francis
// double-shift QR iteration (LAPACK's slahqr: the Ahues-Kressner deflation
// test, exceptional shifts every 10th and 20th step without deflation), and
// when vectors are wanted back substitution on the real Schur form, the
// Schur vectors' product and the balancing undone. Only + - * / fma sqrt and
// exact operations: complex quotients and lengths are written out here.

#include <orvik/decompositions.hpp>

#include "kernels/kernels.hpp"
#include "matrix/decompositions/eigen_internal.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace orvik {
namespace {

namespace eg = detail::eigen;

constexpr std::string_view kAllocate = "m_eig_gen::allocate error";
// Balancing: passes over the matrix at most, and the range of each scale.
// A narrow range: the vectors are brought back through the scales, and a
// wide spread of them magnifies the balanced matrix's residual (on a
// facsimile-convergence matrix of order 183, 2^40 gave a residual 3e4 times
// the unit, 2^8 gives 2; the values barely change).
constexpr std::int32_t kBalancePasses = 100;
constexpr float kBalanceLimit = 0x1p8f;
// QR steps allowed for each deflation, as slahqr: 30 max(10, n).
constexpr std::int32_t kStepsPerOrder = 30;
// Exceptional shifts after this many steps without deflation (and twice
// this many, from the other end), with slahqr's factors.
constexpr std::int32_t kExceptional = 10;
// The reflectors of a double-shift chase whose updates away from the bulge
// are made together (a speed choice: the bits do not depend on it).
constexpr std::int32_t kChase = 32;
constexpr float kDat1 = 0.75f;
constexpr float kDat2 = -0.4375f;
constexpr float kUlp = 0x1p-23f;
// Solutions of the back substitution grow at most to this before they are
// scaled down by a power of two.
constexpr float kGrowthLimit = 0x1p64f;

struct matrix_view {
  float* data;
  std::ptrdiff_t ld;
  float& operator()(std::int32_t i, std::int32_t j) const { return data[i + static_cast<std::ptrdiff_t>(j) * ld]; }
};

// The balancing of LAPACK's sgebal: first a permutation P, exact, that moves
// each row with no nonzero entry off the diagonal (within the rows and
// columns still in play) to the bottom and each such column to the left, so
// that A becomes [T1 X Y; 0 B Z; 0 0 T2] with T1 and T2 upper triangular:
// their diagonal entries are eigenvalues, isolated from every rounding of
// the rest (a matrix with many zero rows keeps its zero eigenvalues exactly
// zero). Then D^-1 A D, D a diagonal of powers of two chosen so that each
// row and its column have comparable 1-norms off the diagonal: over the
// whole matrix, not B alone as sgebal does (on a facsimile-convergence
// matrix of order 183 scaling B alone left its largest eigenvalue's vector
// with a residual 1e3 times the unit). Exact; the zeros stay zeros.
struct balancing {
  std::vector<float> scale;  // D's diagonal
  // The exchanges of rows and columns, in the order they were made: row
  // and column `at` with `with`.
  std::vector<std::pair<std::int32_t, std::int32_t>> exchanges;
};

void exchange(matrix_view h, std::int32_t n, std::int32_t a, std::int32_t b) {
  if (a == b) return;
  for (std::int32_t i = 0; i < n; ++i) std::swap(h(i, a), h(i, b));
  for (std::int32_t j = 0; j < n; ++j) std::swap(h(a, j), h(b, j));
}

balancing balance(matrix_view h, std::int32_t n) {
  balancing out;
  out.scale.assign(static_cast<std::size_t>(n), 1.0f);
  std::int32_t lo = 0;
  std::int32_t hi = n - 1;
  // A row j of columns lo .. hi zero off its diagonal goes to hi.
  for (bool found = true; found && hi > lo;) {
    found = false;
    for (std::int32_t j = hi; j >= lo; --j) {
      bool isolated = true;
      for (std::int32_t i = lo; i <= hi && isolated; ++i) isolated = i == j || h(j, i) == 0.0f;
      if (!isolated) continue;
      out.exchanges.emplace_back(hi, j);
      exchange(h, n, hi, j);
      --hi;
      found = true;
      break;
    }
  }
  // A column j of rows lo .. hi zero off its diagonal goes to lo.
  for (bool found = true; found && hi > lo;) {
    found = false;
    for (std::int32_t j = lo; j <= hi; ++j) {
      bool isolated = true;
      for (std::int32_t i = lo; i <= hi && isolated; ++i) isolated = i == j || h(i, j) == 0.0f;
      if (!isolated) continue;
      out.exchanges.emplace_back(lo, j);
      exchange(h, n, lo, j);
      ++lo;
      found = true;
      break;
    }
  }
  std::vector<float>& scale = out.scale;
  for (std::int32_t pass = 0; pass < kBalancePasses; ++pass) {
    bool changed = false;
    for (std::int32_t i = 0; i < n; ++i) {
      float c = 0.0f;
      float r = 0.0f;
      for (std::int32_t j = 0; j < n; ++j) {
        if (j == i) continue;
        c = c + std::fabs(h(j, i));
        r = r + std::fabs(h(i, j));
      }
      if (c == 0.0f || r == 0.0f) continue;
      const float s = c + r;
      float f = 1.0f;
      float g = r / 2.0f;
      const float si = scale[static_cast<std::size_t>(i)];
      while (c < g && f * si < kBalanceLimit) {
        f = f * 2.0f;
        c = c * 2.0f;
        r = r / 2.0f;
        g = g / 2.0f;
      }
      g = c / 2.0f;
      while (g >= r && f * si > 1.0f / kBalanceLimit) {
        f = f / 2.0f;
        c = c / 2.0f;
        g = g / 2.0f;
        r = r * 2.0f;
      }
      if (c + r >= 0.95f * s) continue;
      scale[static_cast<std::size_t>(i)] = si * f;
      changed = true;
      const float inv = 1.0f / f;
      for (std::int32_t j = 0; j < n; ++j) h(i, j) = h(i, j) * inv;
      for (std::int32_t j = 0; j < n; ++j) h(j, i) = h(j, i) * f;
    }
    if (!changed) break;
  }
  return out;
}

// h (n x n) becomes Q^T A Q, upper Hessenberg, with Q = H(0) ... H(n-3):
// H(k) = I - tau(k) u u^T on rows k+1 .., u = (1, h(k+2 .., k)), the vectors
// left below the subdiagonal (as LAPACK's sgehd2 leaves them).
std::vector<float> reduce_to_hessenberg(matrix_view h, std::int32_t n) {
  std::vector<float> tau = detail::work_buffer(n, kAllocate);
  std::vector<float> p = detail::work_buffer(n, kAllocate);
  std::vector<float> tu = detail::work_buffer(n, kAllocate);
  for (std::int32_t k = 0; k + 2 < n; ++k) {
    const std::int32_t m = n - k - 1;
    float* x = &h(k + 1, k);
    const eg::reflector r = eg::make_reflector(x[0], x + 1, m - 1);
    tau[static_cast<std::size_t>(k)] = r.tau;
    if (r.tau != 0.0f) {
      x[0] = 1.0f;
      for (std::int32_t i = 0; i < m; ++i) tu[static_cast<std::size_t>(i)] = r.tau * x[i];
      // From the right, to every row: A(:, k+1 ..) -= (A u)(tau u)^T.
      float* right = &h(0, k + 1);
      kernels::gemm(n, 1, m, kernels::operand{right, 1, h.ld}, kernels::operand{x, 1, m}, p.data(), n,
                    kernels::gemm_mode::assign);
      eg::subtract_outer(right, h.ld, n, m, p.data(), tu.data());
      // From the left, to the trailing block: A -= (tau u)(u^T A).
      float* left = &h(k + 1, k + 1);
      kernels::gemm(1, m, m, kernels::operand{x, 1, 1}, kernels::operand{left, 1, h.ld}, p.data(), 1,
                    kernels::gemm_mode::assign);
      eg::subtract_outer(left, h.ld, m, m, tu.data(), p.data());
    }
    x[0] = r.beta;
  }
  return tau;
}

// The standardised Schur form of a real 2 x 2 block (LAPACK's slanv2):
// [a b; c d] = [cs -sn; sn cs] [aa bb; cc dd] [cs sn; -sn cs] with either
// cc = 0 (real eigenvalues aa, dd) or aa = dd and bb cc < 0 (the pair
// aa +- i sqrt(|bb cc|), positive imaginary part first).
struct schur_two {
  float a, b, c, d;
  float rt1r, rt1i, rt2r, rt2i;
  float cs, sn;
};
schur_two standardise(float a, float b, float c, float d) {
  constexpr float kMultiple = 4.0f;
  constexpr float kSafeMin2 = 0x1p-51f;
  constexpr float kSafeMax2 = 0x1p51f;
  float cs = 1.0f;
  float sn = 0.0f;
  // Already standard: upper triangular, or equal diagonal with b c < 0.
  const bool standard = c == 0.0f || (b != 0.0f && a - d == 0.0f && std::signbit(b) != std::signbit(c));
  if (standard) {
    // Nothing to do.
  } else if (b == 0.0f) {
    cs = 0.0f;
    sn = 1.0f;
    std::swap(a, d);
    b = -c;
    c = 0.0f;
  } else {
    float temp = a - d;
    float p = 0.5f * temp;
    const float bcmax = std::fmax(std::fabs(b), std::fabs(c));
    const float bcmis = std::fmin(std::fabs(b), std::fabs(c)) * std::copysign(1.0f, b) * std::copysign(1.0f, c);
    float scale = std::fmax(std::fabs(p), bcmax);
    float z = std::fma(p / scale, p, (bcmax / scale) * bcmis);
    if (z >= kMultiple * kUlp) {
      // Real eigenvalues.
      z = p + std::copysign(std::sqrt(scale) * std::sqrt(z), p);
      a = d + z;
      d = std::fma(-(bcmax / z), bcmis, d);
      const float tau = eg::hypot2(c, z);
      cs = z / tau;
      sn = c / tau;
      b = b - c;
      c = 0.0f;
    } else {
      // Complex or nearly equal real eigenvalues: equal diagonal first.
      float sigma = b + c;
      for (std::int32_t count = 0; count <= 20; ++count) {
        scale = std::fmax(std::fabs(temp), std::fabs(sigma));
        if (scale >= kSafeMax2) {
          sigma = sigma * kSafeMin2;
          temp = temp * kSafeMin2;
          continue;
        }
        if (scale <= kSafeMin2) {
          sigma = sigma * kSafeMax2;
          temp = temp * kSafeMax2;
          continue;
        }
        break;
      }
      p = 0.5f * temp;
      float tau = eg::hypot2(sigma, temp);
      cs = std::sqrt(0.5f * (1.0f + std::fabs(sigma) / tau));
      sn = -(p / (tau * cs)) * std::copysign(1.0f, sigma);
      const float aa = std::fma(b, sn, a * cs);
      const float bb = std::fma(b, cs, -(a * sn));
      const float cc = std::fma(d, sn, c * cs);
      const float dd = std::fma(d, cs, -(c * sn));
      a = std::fma(cc, sn, aa * cs);
      b = std::fma(dd, sn, bb * cs);
      c = std::fma(cc, cs, -(aa * sn));
      d = std::fma(dd, cs, -(bb * sn));
      temp = 0.5f * (a + d);
      a = temp;
      d = temp;
      if (c != 0.0f) {
        if (b != 0.0f) {
          if (std::signbit(b) == std::signbit(c)) {
            // Real after all: upper triangular.
            const float sab = std::sqrt(std::fabs(b));
            const float sac = std::sqrt(std::fabs(c));
            p = std::copysign(sab * sac, c);
            tau = 1.0f / std::sqrt(std::fabs(b + c));
            a = temp + p;
            d = temp - p;
            b = b - c;
            c = 0.0f;
            const float cs1 = sab * tau;
            const float sn1 = sac * tau;
            const float t = std::fma(-sn, sn1, cs * cs1);
            sn = std::fma(sn, cs1, cs * sn1);
            cs = t;
          }
        } else {
          b = -c;
          c = 0.0f;
          const float t = cs;
          cs = -sn;
          sn = t;
        }
      }
    }
  }
  schur_two out{a, b, c, d, a, 0.0f, d, 0.0f, cs, sn};
  if (c != 0.0f) {
    out.rt1i = std::sqrt(std::fabs(b)) * std::sqrt(std::fabs(c));
    out.rt2i = -out.rt1i;
  }
  return out;
}

// x <- c x + s y, y <- c y - s x over `count` pairs (x and y strided).
void rotate(float* x, std::ptrdiff_t xs, float* y, std::ptrdiff_t ys, std::int32_t count, float c, float s) {
  for (std::ptrdiff_t t = 0; t < count; ++t) {
    const float a = x[t * xs];
    const float b = y[t * ys];
    x[t * xs] = std::fma(s, b, c * a);
    y[t * ys] = std::fma(-s, a, c * b);
  }
}

// The Francis double-shift iteration on the Hessenberg h, LAPACK's slahqr.
// With `schur` the whole of h is transformed into the real Schur form and
// the transformations are gathered into z (n x n); without, only the
// active block is worked on. The values go to wr, wi. False when a
// deflation takes more than its allowance of steps.
bool francis(matrix_view h, std::int32_t n, float* z, bool schur, std::vector<float>& wr, std::vector<float>& wi) {
  const float small_num = eg::safe_min * (static_cast<float>(n) / kUlp);
  const std::int32_t max_steps = kStepsPerOrder * std::max<std::int32_t>(10, n);
  const matrix_view zv{z, n};
  std::vector<float> factors = detail::work_buffer(5 * kChase, kAllocate);
  std::int32_t without_deflation = 0;
  std::int32_t i = n - 1;
  while (i >= 0) {
    std::int32_t l = 0;
    bool split = false;
    for (std::int32_t its = 0; its <= max_steps; ++its) {
      // A negligible subdiagonal entry.
      std::int32_t k = i;
      for (; k > l; --k) {
        if (std::fabs(h(k, k - 1)) <= small_num) break;
        float tst = std::fabs(h(k - 1, k - 1)) + std::fabs(h(k, k));
        if (tst == 0.0f) {
          if (k - 2 >= 0) tst = tst + std::fabs(h(k - 1, k - 2));
          if (k + 1 <= n - 1) tst = tst + std::fabs(h(k + 1, k));
        }
        if (std::fabs(h(k, k - 1)) <= kUlp * tst) {
          const float ab = std::fmax(std::fabs(h(k, k - 1)), std::fabs(h(k - 1, k)));
          const float ba = std::fmin(std::fabs(h(k, k - 1)), std::fabs(h(k - 1, k)));
          const float aa = std::fmax(std::fabs(h(k, k)), std::fabs(h(k - 1, k - 1) - h(k, k)));
          const float bb = std::fmin(std::fabs(h(k, k)), std::fabs(h(k - 1, k - 1) - h(k, k)));
          const float s = aa + ab;
          if (ba * (ab / s) <= std::fmax(small_num, kUlp * (bb * (aa / s)))) break;
        }
      }
      l = k;
      if (l > 0) h(l, l - 1) = 0.0f;
      if (l >= i - 1) {
        split = true;
        break;
      }
      ++without_deflation;
      const std::int32_t i1 = schur ? 0 : l;
      const std::int32_t i2 = schur ? n - 1 : i;

      // The shifts: Francis' double shift, or an exceptional one.
      float h11 = 0.0f;
      float h12 = 0.0f;
      float h21 = 0.0f;
      float h22 = 0.0f;
      if (without_deflation % (2 * kExceptional) == 0) {
        const float s = std::fabs(h(i, i - 1)) + std::fabs(h(i - 1, i - 2));
        h11 = std::fma(kDat1, s, h(i, i));
        h12 = kDat2 * s;
        h21 = s;
        h22 = h11;
      } else if (without_deflation % kExceptional == 0) {
        const float s = std::fabs(h(l + 1, l)) + std::fabs(h(l + 2, l + 1));
        h11 = std::fma(kDat1, s, h(l, l));
        h12 = kDat2 * s;
        h21 = s;
        h22 = h11;
      } else {
        h11 = h(i - 1, i - 1);
        h21 = h(i, i - 1);
        h12 = h(i - 1, i);
        h22 = h(i, i);
      }
      float rt1r = 0.0f;
      float rt1i = 0.0f;
      float rt2r = 0.0f;
      float rt2i = 0.0f;
      const float s0 = std::fabs(h11) + std::fabs(h12) + std::fabs(h21) + std::fabs(h22);
      if (s0 != 0.0f) {
        h11 = h11 / s0;
        h21 = h21 / s0;
        h12 = h12 / s0;
        h22 = h22 / s0;
        const float tr = (h11 + h22) / 2.0f;
        const float det = std::fma(-h12, h21, (h11 - tr) * (h22 - tr));
        const float rtdisc = std::sqrt(std::fabs(det));
        if (det >= 0.0f) {
          rt1r = tr * s0;
          rt2r = rt1r;
          rt1i = rtdisc * s0;
          rt2i = -rt1i;
        } else {
          rt1r = tr + rtdisc;
          rt2r = tr - rtdisc;
          if (std::fabs(rt1r - h22) <= std::fabs(rt2r - h22)) {
            rt1r = rt1r * s0;
            rt2r = rt1r;
          } else {
            rt2r = rt2r * s0;
            rt1r = rt2r;
          }
        }
      }

      // Where to start: two consecutive small subdiagonal entries.
      float v[3] = {0.0f, 0.0f, 0.0f};
      std::int32_t m = i - 2;
      for (; m >= l; --m) {
        float h21s = h(m + 1, m);
        float s = std::fabs(h(m, m) - rt2r) + std::fabs(rt2i) + std::fabs(h21s);
        h21s = h(m + 1, m) / s;
        v[0] = std::fma(-rt1i, rt2i / s, std::fma(h21s, h(m, m + 1), (h(m, m) - rt1r) * ((h(m, m) - rt2r) / s)));
        v[1] = h21s * (((h(m, m) + h(m + 1, m + 1)) - rt1r) - rt2r);
        v[2] = h21s * h(m + 2, m + 1);
        s = std::fabs(v[0]) + std::fabs(v[1]) + std::fabs(v[2]);
        v[0] = v[0] / s;
        v[1] = v[1] / s;
        v[2] = v[2] / s;
        if (m == l) break;
        const float h00 = std::fabs(h(m, m - 1)) * (std::fabs(v[1]) + std::fabs(v[2]));
        const float h01 =
            kUlp * std::fabs(v[0]) * (std::fabs(h(m - 1, m - 1)) + std::fabs(h(m, m)) + std::fabs(h(m + 1, m + 1)));
        if (h00 <= h01) break;
      }

      // The double-shift step: the bulge made at m and chased down, in
      // segments of kChase reflectors. The columns of h right of the bulge's
      // reach meet only the row reflections until the bulge arrives, and z
      // is not read by the chase: both receive a segment's reflections
      // together after it, each element still in the chase's order.
      for (std::int32_t seg = m; seg <= i - 1; seg += kChase) {
        const std::int32_t end = std::min(seg + kChase, i);
        const std::int32_t near = std::min(i2, end + 2);
        for (std::int32_t kk = seg; kk < end; ++kk) {
          const std::int32_t nr = std::min<std::int32_t>(3, i - kk + 1);
          if (kk > m) {
            for (std::int32_t t = 0; t < nr; ++t) v[t] = h(kk + t, kk - 1);
          }
          const eg::reflector g = eg::make_reflector(v[0], v + 1, nr - 1);
          v[0] = g.beta;
          const float t1 = g.tau;
          if (kk > m) {
            h(kk, kk - 1) = v[0];
            h(kk + 1, kk - 1) = 0.0f;
            if (kk < i - 1) h(kk + 2, kk - 1) = 0.0f;
          } else if (m > l) {
            h(kk, kk - 1) = h(kk, kk - 1) * (1.0f - t1);
          }
          const float v2 = v[1];
          const float v3 = nr == 3 ? v[2] : 0.0f;
          float* f = factors.data() + 5 * (kk - seg);
          f[0] = v2;
          f[1] = v3;
          f[2] = t1;
          f[3] = t1 * v2;
          f[4] = t1 * v3;
          kernels::reflect_rows(&h(kk, kk), h.ld, near - kk + 1, nr, f);
          const std::int32_t last = std::min(kk + 3, i);
          kernels::reflect_columns(&h(i1, kk), h.ld, last - i1 + 1, nr, f);
        }
        // The chase's last reflector, at i - 1, has order 2.
        const std::int32_t count = end - seg;
        const std::int32_t threes = end == i ? count - 1 : count;
        const float* last_factors = factors.data() + 5 * (count - 1);
        if (near < i2) {
          kernels::reflect_rows_sequence(&h(seg, near + 1), h.ld, i2 - near, threes, factors.data());
          if (threes < count) kernels::reflect_rows(&h(i - 1, near + 1), h.ld, i2 - near, 2, last_factors);
        }
        if (z != nullptr) {
          kernels::reflect_columns_sequence(&zv(0, seg), zv.ld, n, threes, factors.data());
          if (threes < count) kernels::reflect_columns(&zv(0, i - 1), zv.ld, n, 2, last_factors);
        }
      }
    }
    if (!split) return false;
    if (l == i) {
      wr[static_cast<std::size_t>(i)] = h(i, i);
      wi[static_cast<std::size_t>(i)] = 0.0f;
    } else {
      const schur_two b = standardise(h(i - 1, i - 1), h(i - 1, i), h(i, i - 1), h(i, i));
      h(i - 1, i - 1) = b.a;
      h(i - 1, i) = b.b;
      h(i, i - 1) = b.c;
      h(i, i) = b.d;
      wr[static_cast<std::size_t>(i - 1)] = b.rt1r;
      wi[static_cast<std::size_t>(i - 1)] = b.rt1i;
      wr[static_cast<std::size_t>(i)] = b.rt2r;
      wi[static_cast<std::size_t>(i)] = b.rt2i;
      if (schur) {
        if (i < n - 1) rotate(&h(i - 1, i + 1), h.ld, &h(i, i + 1), h.ld, n - 1 - i, b.cs, b.sn);
        rotate(&h(0, i - 1), 1, &h(0, i), 1, i - 1, b.cs, b.sn);
      }
      if (z != nullptr) rotate(&zv(0, i - 1), 1, &zv(0, i), 1, n, b.cs, b.sn);
    }
    without_deflation = 0;
    i = l - 1;
  }
  return true;
}

// (a + i b) / (c + i d), Smith's scaled form: no intermediate overflow for
// finite operands of moderate size.
struct complex_value {
  float re;
  float im;
};
complex_value complex_divide(float a, float b, float c, float d) {
  if (std::fabs(d) <= std::fabs(c)) {
    const float r = d / c;
    const float den = std::fma(d, r, c);
    return {std::fma(b, r, a) / den, std::fma(-a, r, b) / den};
  }
  const float r = c / d;
  const float den = std::fma(c, r, d);
  return {std::fma(a, r, b) / den, std::fma(b, r, -a) / den};
}

// Solves the 2 x 2 complex system [a11 a12; a21 a22] x = b (real matrix
// entries minus the shift w = (wre, wim) on the diagonal) by elimination
// with complete pivoting on the largest |re| + |im|; a pivot below smin is
// raised to smin.
void solve_two(const float a[2][2], float wre, float wim, const float bre[2], const float bim[2], float smin,
               float xre[2], float xim[2]) {
  complex_value m[2][2];
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c) m[r][c] = {a[r][c] - (r == c ? wre : 0.0f), r == c ? -wim : 0.0f};
  int pr = 0;
  int pc = 0;
  float best = -1.0f;
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c) {
      const float size = std::fabs(m[r][c].re) + std::fabs(m[r][c].im);
      if (size > best) {
        best = size;
        pr = r;
        pc = c;
      }
    }
  complex_value piv = m[pr][pc];
  if (best < smin) piv = {smin, 0.0f};
  const int qr = 1 - pr;
  const int qc = 1 - pc;
  const complex_value lmul = complex_divide(m[qr][pc].re, m[qr][pc].im, piv.re, piv.im);
  // The other row minus lmul times the pivot row.
  complex_value u = {m[qr][qc].re - (lmul.re * m[pr][qc].re - lmul.im * m[pr][qc].im),
                     m[qr][qc].im - (lmul.re * m[pr][qc].im + lmul.im * m[pr][qc].re)};
  if (std::fabs(u.re) + std::fabs(u.im) < smin) u = {smin, 0.0f};
  const complex_value bp = {bre[pr], bim[pr]};
  const complex_value bq = {bre[qr] - (lmul.re * bp.re - lmul.im * bp.im),
                            bim[qr] - (lmul.re * bp.im + lmul.im * bp.re)};
  const complex_value x2 = complex_divide(bq.re, bq.im, u.re, u.im);
  const complex_value rest = {bp.re - (m[pr][qc].re * x2.re - m[pr][qc].im * x2.im),
                              bp.im - (m[pr][qc].re * x2.im + m[pr][qc].im * x2.re)};
  const complex_value x1 = complex_divide(rest.re, rest.im, piv.re, piv.im);
  xre[pc] = x1.re;
  xim[pc] = x1.im;
  xre[qc] = x2.re;
  xim[qc] = x2.im;
}

// The right eigenvectors of the quasi-triangular t, as the columns of x
// (n x n, upper quasi-triangular): a real eigenvalue's vector in its
// column, a pair's (positive imaginary part) real and imaginary parts in
// the pair's two columns. Back substitution upwards (LAPACK's strevc),
// the right-hand side updated a column at a time; a solution that grows
// past kGrowthLimit is scaled down by a power of two.
void schur_vectors(matrix_view t, std::int32_t n, matrix_view x) {
  const float small_num = eg::safe_min * (static_cast<float>(n) / kUlp);
  for (std::int32_t ki = n - 1; ki >= 0; --ki) {
    const bool pair = ki > 0 && t(ki, ki - 1) != 0.0f;
    const float wr = t(ki, ki);
    const float wi = pair ? std::sqrt(std::fabs(t(ki, ki - 1))) * std::sqrt(std::fabs(t(ki - 1, ki))) : 0.0f;
    const float smin = std::fmax(kUlp * (std::fabs(wr) + std::fabs(wi)), small_num);
    float* re = pair ? &x(0, ki - 1) : &x(0, ki);
    float* im = pair ? &x(0, ki) : nullptr;
    const auto rescale = [&](float big, std::int32_t top) {
      if (!(big > kGrowthLimit)) return;
      const int e = -eg::exponent_of(big);
      for (std::int32_t r = 0; r <= top; ++r) {
        re[r] = eg::times_power_of_two(re[r], e);
        if (im != nullptr) im[r] = eg::times_power_of_two(im[r], e);
      }
    };
    std::int32_t j = 0;
    if (!pair) {
      re[ki] = 1.0f;
      for (std::int32_t k = 0; k < ki; ++k) re[k] = -t(k, ki);
      j = ki - 1;
    } else {
      if (std::fabs(t(ki - 1, ki)) >= std::fabs(t(ki, ki - 1))) {
        re[ki - 1] = 1.0f;
        im[ki] = wi / t(ki - 1, ki);
      } else {
        re[ki - 1] = -wi / t(ki, ki - 1);
        im[ki] = 1.0f;
      }
      re[ki] = 0.0f;
      im[ki - 1] = 0.0f;
      for (std::int32_t k = 0; k < ki - 1; ++k) {
        re[k] = -re[ki - 1] * t(k, ki - 1);
        im[k] = -im[ki] * t(k, ki);
      }
      j = ki - 2;
    }
    while (j >= 0) {
      if (j > 0 && t(j, j - 1) != 0.0f) {
        const float a[2][2] = {{t(j - 1, j - 1), t(j - 1, j)}, {t(j, j - 1), t(j, j)}};
        const float br[2] = {re[j - 1], re[j]};
        const float bi[2] = {im != nullptr ? im[j - 1] : 0.0f, im != nullptr ? im[j] : 0.0f};
        float xr[2];
        float xi[2];
        solve_two(a, wr, wi, br, bi, smin, xr, xi);
        re[j - 1] = xr[0];
        re[j] = xr[1];
        if (im != nullptr) {
          im[j - 1] = xi[0];
          im[j] = xi[1];
        }
        for (std::int32_t c = j - 1; c <= j; ++c) {
          kernels::subtract_scaled(re, 1, re[c], &t(0, c), 1, j - 1);
          if (im != nullptr) kernels::subtract_scaled(im, 1, im[c], &t(0, c), 1, j - 1);
        }
        rescale(std::fmax(std::fmax(std::fabs(re[j - 1]), std::fabs(re[j])),
                          im != nullptr ? std::fmax(std::fabs(im[j - 1]), std::fabs(im[j])) : 0.0f),
                ki);
        j -= 2;
      } else {
        float dr = t(j, j) - wr;
        float di = -wi;
        if (std::fabs(dr) + std::fabs(di) < smin) {
          dr = smin;
          di = 0.0f;
        }
        if (im == nullptr) {
          re[j] = re[j] / dr;
        } else {
          const complex_value q = complex_divide(re[j], im[j], dr, di);
          re[j] = q.re;
          im[j] = q.im;
        }
        kernels::subtract_scaled(re, 1, re[j], &t(0, j), 1, j);
        if (im != nullptr) kernels::subtract_scaled(im, 1, im[j], &t(0, j), 1, j);
        rescale(std::fmax(std::fabs(re[j]), im != nullptr ? std::fabs(im[j]) : 0.0f), ki);
        j -= 1;
      }
    }
    if (pair) --ki;
  }
}

}  // namespace

void m_destruct_t_eig_gen(t_eig_gen& eig) {
  v_destruct(eig.re);
  v_destruct(eig.im);
  m_destruct(eig.vectors);
}

t_eig_gen m_eig_gen(const t_matrix& a, std::optional<bool> vectors) {
  detail::m_require_allocated(a, "m_eig_gen::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_eig_gen:: square matrix expected", 202);
  for (const float x : a.elements) {
    if (!std::isfinite(x)) detail::m_fail("m_eig_gen::matrix has an entry that is not finite", 300);
  }
  const std::int32_t n = a.rows;
  const bool want_vectors = vectors.value_or(false);
  t_eig_gen result;
  if (n == 0) {
    result.re = v_zeros(0);
    result.im = v_zeros(0);
    if (want_vectors) result.vectors = m_zeros(0, 0);
    return result;
  }
  const auto un = static_cast<std::size_t>(n);
  detail::kept_buffer w_storage(a.elements, kAllocate);
  std::vector<float>& w = w_storage.get();
  const float largest = eg::max_magnitude(w.data(), static_cast<std::ptrdiff_t>(w.size()));
  const int k = largest == 0.0f ? 0 : eg::scale_exponent(largest);
  if (k != 0) {
    detail::scale_all_by_power_of_two(w.data(), w.size(), k);
  }
  const matrix_view h{w.data(), n};
  const balancing balanced = balance(h, n);
  const std::vector<float> tau = reduce_to_hessenberg(h, n);
  detail::kept_buffer z_storage(want_vectors ? static_cast<std::int64_t>(n) * n : 0, kAllocate);
  std::vector<float>& z = z_storage.get();
  if (want_vectors) eg::form_q(w, tau, n, z, kAllocate);
  for (std::int32_t j = 0; j < n; ++j)
    for (std::int32_t i = j + 2; i < n; ++i) h(i, j) = 0.0f;
  std::vector<float> wr = detail::work_buffer(n, kAllocate);
  std::vector<float> wi = detail::work_buffer(n, kAllocate);
  if (!francis(h, n, want_vectors ? z.data() : nullptr, want_vectors, wr, wi)) {
    detail::m_fail("m_eig_gen::eig method diverge", 301);
  }

  detail::kept_buffer v_storage(want_vectors ? static_cast<std::int64_t>(n) * n : 0, kAllocate);
  std::vector<float>& v = v_storage.get();
  if (want_vectors) {
    detail::kept_buffer x_storage(static_cast<std::int64_t>(n) * n, kAllocate);
    std::vector<float>& x = x_storage.get();
    schur_vectors(h, n, matrix_view{x.data(), n});
    kernels::gemm(n, n, n, kernels::operand{z.data(), 1, n}, kernels::operand{x.data(), 1, n}, v.data(), n,
                  kernels::gemm_mode::assign);
    // Back to the unbalanced matrix's vectors, then unit length with the
    // largest component real (as LAPACK's sgeev leaves them).
    for (std::size_t j = 0; j < un; ++j)
      for (std::size_t i = 0; i < un; ++i) v[j * un + i] = v[j * un + i] * balanced.scale[i];
    for (auto e = balanced.exchanges.rbegin(); e != balanced.exchanges.rend(); ++e) {
      for (std::size_t j = 0; j < un; ++j) {
        std::swap(v[j * un + static_cast<std::size_t>(e->first)], v[j * un + static_cast<std::size_t>(e->second)]);
      }
    }
    for (std::size_t j = 0; j < un; ++j) {
      float* re = v.data() + j * un;
      if (wi[j] == 0.0f) {
        const float len = detail::scaled_length(re, 1, n);
        if (len > 0.0f) {
          for (std::size_t i = 0; i < un; ++i) re[i] = re[i] / len;
        }
        continue;
      }
      float* im = re + un;
      const float len = eg::hypot2(detail::scaled_length(re, 1, n), detail::scaled_length(im, 1, n));
      if (len > 0.0f) {
        for (std::size_t i = 0; i < un; ++i) {
          re[i] = re[i] / len;
          im[i] = im[i] / len;
        }
      }
      std::size_t big = 0;
      float big_size = -1.0f;
      for (std::size_t i = 0; i < un; ++i) {
        const float size = std::fma(re[i], re[i], im[i] * im[i]);
        if (size > big_size) {
          big_size = size;
          big = i;
        }
      }
      const eg::rotation r = eg::make_rotation(re[big], im[big]);
      rotate(re, 1, im, 1, n, r.c, r.s);
      im[big] = 0.0f;
      ++j;
    }
  }

  v_init(result.re, n);
  v_init(result.im, n);
  for (std::size_t i = 0; i < un; ++i) {
    result.re.elements[i] = eg::times_power_of_two(wr[i], -k);
    result.im.elements[i] = eg::times_power_of_two(wi[i], -k);
  }
  if (want_vectors) {
    m_init(result.vectors, n, n);
    std::copy(v.begin(), v.end(), result.vectors.elements.begin());
  }
  return result;
}

}  // namespace orvik
