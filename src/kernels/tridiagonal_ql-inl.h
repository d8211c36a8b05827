// The implicit QL / QR iteration with Wilkinson shifts on a symmetric
// tridiagonal matrix (LAPACK's ssteqr), written once and compiled both into
// the reference table (reference.cpp) and for every fast target
// (eigen_updates.cpp, inside each target's namespace, where std::fma
// becomes the instruction instead of a library call). The iteration is a
// chain of dependent scalar steps, so both give the same bits by
// construction; the rotations reach the vectors through the same table's
// rotate_eigenvectors, which keeps its reference's bits too.
//
// Included inside the includer's namespace, with <cmath>, <cstddef>,
// <cstdint>, <utility> and "common/power_of_two.hpp" already included; the
// guard flips with each Highway target.

#if defined(ORVIK_KERNELS_TRIDIAGONAL_QL_INL_H_) == defined(HWY_TARGET_TOGGLE)  // NOLINT
#ifdef ORVIK_KERNELS_TRIDIAGONAL_QL_INL_H_
#undef ORVIK_KERNELS_TRIDIAGONAL_QL_INL_H_
#else
#define ORVIK_KERNELS_TRIDIAGONAL_QL_INL_H_
#endif

namespace ql {

#include "common/rotation_steps-inl.h"

// The eigenvalues of [[a, b], [b, c]], rt1 the one of larger magnitude, and
// (cs, sn) the unit eigenvector of rt1 (LAPACK's slaev2).
struct two_by_two {
  float rt1;
  float rt2;
  float cs;
  float sn;
};
inline two_by_two eigen_two_by_two(float a, float b, float c) {
  const float sm = a + c;
  const float df = a - c;
  const float adf = std::fabs(df);
  const float tb = b + b;
  const float ab = std::fabs(tb);
  const bool a_larger = std::fabs(a) > std::fabs(c);
  const float acmx = a_larger ? a : c;
  const float acmn = a_larger ? c : a;
  float rt = 0.0f;
  if (adf > ab) {
    const float q = ab / adf;
    rt = adf * std::sqrt(std::fma(q, q, 1.0f));
  } else if (adf < ab) {
    const float q = adf / ab;
    rt = ab * std::sqrt(std::fma(q, q, 1.0f));
  } else {
    rt = ab * std::sqrt(2.0f);
  }
  two_by_two out{};
  int sgn1 = 1;
  if (sm < 0.0f) {
    out.rt1 = 0.5f * (sm - rt);
    sgn1 = -1;
    out.rt2 = std::fma(-(b / out.rt1), b, (acmx / out.rt1) * acmn);
  } else if (sm > 0.0f) {
    out.rt1 = 0.5f * (sm + rt);
    out.rt2 = std::fma(-(b / out.rt1), b, (acmx / out.rt1) * acmn);
  } else {
    out.rt1 = 0.5f * rt;
    out.rt2 = -0.5f * rt;
  }
  int sgn2 = 1;
  float cs = 0.0f;
  if (df >= 0.0f) {
    cs = df + rt;
  } else {
    cs = df - rt;
    sgn2 = -1;
  }
  if (std::fabs(cs) > ab) {
    const float ct = -tb / cs;
    out.sn = 1.0f / std::sqrt(std::fma(ct, ct, 1.0f));
    out.cs = ct * out.sn;
  } else if (ab == 0.0f) {
    out.cs = 1.0f;
    out.sn = 0.0f;
  } else {
    const float tn = -cs / tb;
    out.cs = 1.0f / std::sqrt(std::fma(tn, tn, 1.0f));
    out.sn = tn * out.cs;
  }
  if (sgn1 == sgn2) {
    const float tn = out.cs;
    out.cs = -out.sn;
    out.sn = tn;
  }
  return out;
}

// |e|^2 small against |d(i) d(j)|: the off-diagonal entry is negligible.
inline bool negligible(float e, float di, float dj) {
  return e * e <= std::fma(eps * eps * std::fabs(di), std::fabs(dj), safe_min);
}

using rotate_fn = void (*)(float* z, std::ptrdiff_t ldz, std::int32_t rows, std::int32_t count, const float* c,
                           const float* s, bool forward) noexcept;

// The iteration on d[0..n-1], e[0..n-2] (e has n entries), with at most
// max_sweeps sweeps over all blocks together; each sweep's rotations (c, s
// in cw, sw, n entries each) go to the columns of z (n x n) through
// `rotate` when z is not null. False when the limit ends it before every
// off-diagonal entry is negligible.
inline bool tridiagonal_ql_body(float* d, float* e, std::int32_t n, float* z, float* cw, float* sw,
                                std::int32_t max_sweeps, rotate_fn rotate) noexcept {
  if (n <= 1) return true;
  const auto ld = static_cast<std::ptrdiff_t>(n);
  const auto apply = [&](std::int32_t first, std::int32_t count, bool forward) {
    if (z != nullptr) rotate(z + first * ld, ld, n, count, cw + first, sw + first, forward);
  };
  std::int32_t sweeps = 0;
  std::int32_t l1 = 0;
  while (l1 < n) {
    if (l1 > 0) e[l1 - 1] = 0.0f;
    std::int32_t m = l1;
    for (; m < n - 1; ++m) {
      const float tst = std::fabs(e[m]);
      if (tst == 0.0f) break;
      if (tst <= (std::sqrt(std::fabs(d[m])) * std::sqrt(std::fabs(d[m + 1]))) * eps) {
        e[m] = 0.0f;
        break;
      }
    }
    std::int32_t l = l1;
    std::int32_t lend = m;
    l1 = m + 1;
    if (lend == l) continue;
    if (std::fabs(d[lend]) < std::fabs(d[l])) std::swap(l, lend);
    if (lend > l) {
      // QL: deflation at the top.
      while (l <= lend) {
        std::int32_t mm = l;
        for (; mm < lend; ++mm) {
          if (negligible(e[mm], d[mm], d[mm + 1])) break;
        }
        if (mm < lend) e[mm] = 0.0f;
        float p = d[l];
        if (mm == l) {
          ++l;
          continue;
        }
        if (mm == l + 1) {
          const two_by_two r = eigen_two_by_two(d[l], e[l], d[l + 1]);
          cw[l] = r.cs;
          sw[l] = r.sn;
          apply(l, 1, false);
          d[l] = r.rt1;
          d[l + 1] = r.rt2;
          e[l] = 0.0f;
          l += 2;
          continue;
        }
        if (sweeps == max_sweeps) return false;
        ++sweeps;
        float g = (d[l + 1] - p) / (2.0f * e[l]);
        float r = hypot2(g, 1.0f);
        g = (d[mm] - p) + e[l] / (g + std::copysign(r, g));
        float s = 1.0f;
        float c = 1.0f;
        p = 0.0f;
        for (std::int32_t i = mm - 1; i >= l; --i) {
          const float f = s * e[i];
          const float b = c * e[i];
          // (2 c) b and c (2 b) round the same product: the doubling is
          // exact either way, and this one is made before c is known.
          const float b2 = 2.0f * b;
          const rotation rot = make_rotation(g, f);
          c = rot.c;
          s = rot.s;
          if (i != mm - 1) e[i + 1] = rot.r;
          g = d[i + 1] - p;
          r = std::fma(d[i] - g, s, c * b2);
          p = s * r;
          d[i + 1] = g + p;
          g = std::fma(c, r, -b);
          cw[i] = c;
          sw[i] = -s;
        }
        apply(l, mm - l, false);
        d[l] = d[l] - p;
        e[l] = g;
      }
    } else {
      // QR: deflation at the bottom.
      while (l >= lend) {
        std::int32_t mm = l;
        for (; mm > lend; --mm) {
          if (negligible(e[mm - 1], d[mm], d[mm - 1])) break;
        }
        if (mm > lend) e[mm - 1] = 0.0f;
        float p = d[l];
        if (mm == l) {
          --l;
          continue;
        }
        if (mm == l - 1) {
          const two_by_two r = eigen_two_by_two(d[l - 1], e[l - 1], d[l]);
          cw[mm] = r.cs;
          sw[mm] = r.sn;
          apply(mm, 1, true);
          d[l - 1] = r.rt1;
          d[l] = r.rt2;
          e[l - 1] = 0.0f;
          l -= 2;
          continue;
        }
        if (sweeps == max_sweeps) return false;
        ++sweeps;
        float g = (d[l - 1] - p) / (2.0f * e[l - 1]);
        float r = hypot2(g, 1.0f);
        g = (d[mm] - p) + e[l - 1] / (g + std::copysign(r, g));
        float s = 1.0f;
        float c = 1.0f;
        p = 0.0f;
        for (std::int32_t i = mm; i < l; ++i) {
          const float f = s * e[i];
          const float b = c * e[i];
          const float b2 = 2.0f * b;
          const rotation rot = make_rotation(g, f);
          c = rot.c;
          s = rot.s;
          if (i != mm) e[i - 1] = rot.r;
          g = d[i] - p;
          r = std::fma(d[i + 1] - g, s, c * b2);
          p = s * r;
          d[i] = g + p;
          g = std::fma(c, r, -b);
          cw[i] = c;
          sw[i] = s;
        }
        apply(mm, l - mm, true);
        d[l] = d[l] - p;
        e[l - 1] = g;
      }
    }
  }
  return true;
}

}  // namespace ql

#endif
