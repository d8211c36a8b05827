// One implicit QR sweep on an upper bidiagonal block, written once and
// compiled both into the reference table (reference.cpp) and for every fast
// target (rotations.cpp, inside each target's namespace, where std::fma
// becomes the instruction instead of a library call). The sweep is one
// chain of dependent scalar steps, so both give the same bits by
// construction: the same correctly rounded operations in the same order.
//
// Included inside the includer's namespace, with <cmath>, <cstdint> and
// "common/min_max.hpp" already included; the guard flips with each Highway
// target.

#if defined(ORVIK_KERNELS_BIDIAGONAL_SWEEP_INL_H_) == defined(HWY_TARGET_TOGGLE)  // NOLINT
#ifdef ORVIK_KERNELS_BIDIAGONAL_SWEEP_INL_H_
#undef ORVIK_KERNELS_BIDIAGONAL_SWEEP_INL_H_
#else
#define ORVIK_KERNELS_BIDIAGONAL_SWEEP_INL_H_
#endif

// A plane rotation [c s; -s c] taking (f, g) to (r, 0); c >= 0 and r keeps
// the sign of f (for f = 0, r = |g|). Inside [2^-60, 2^60] the sum of
// squares neither overflows nor loses bits to underflow; elsewhere both are
// scaled by the same power of two first, exactly.
struct sweep_rotation {
  float c;
  float s;
  float r;
};

inline sweep_rotation sweep_rotate_onto(float f, float g) {
  if (g == 0.0f) return {1.0f, 0.0f, f};
  if (f == 0.0f) return {0.0f, std::copysign(1.0f, g), std::fabs(g)};
  // fmax's result, written out so that it is not a library call per step.
  const float af = std::fabs(f);
  const float ag = std::fabs(g);
  const float big = af >= ag || std::isnan(ag) ? af : ag;
  if (big >= 0x1p-60f && big <= 0x1p60f) {
    // g / r with the sign of r = copysign(d, f) settled on g (exactly), so
    // that the division starts at the root.
    const float d = std::sqrt(std::fma(f, f, g * g));
    return {af / d, (f < 0.0f ? -g : g) / d, std::copysign(d, f)};
  }
  int e = 0;
  static_cast<void>(std::frexp(big, &e));
  const float fs = std::ldexp(f, -e);
  const float gs = std::ldexp(g, -e);
  const float d = std::sqrt(std::fma(fs, fs, gs * gs));
  const float r = std::copysign(d, fs);
  return {std::fabs(fs) / d, gs / r, std::ldexp(r, e)};
}

// The pair (x, y) rotated, as rotate_columns does: x' = c x + s y,
// y' = c y - s x, each product s * . rounded before its fused step.
inline float sweep_x(float c, float s, float x, float y) { return std::fma(c, x, s * y); }
inline float sweep_y(float c, float s, float x, float y) { return std::fma(c, y, -(s * x)); }

// The next iteration's convergence scan, made here on the values as the
// sweep leaves them, each as soon as it is final: a chain of its own, which
// runs beside the sweep's instead of after it. From the end the chase
// starts at, mu begins as |d| there and steps over e(i) as
// mu' = |d(next)| (mu / (mu + |e(i)|)) until |e(i)| <= tol mu, the first
// such i being the split; minima holds the running minimum of mu at every
// d index reached.
struct sweep_scan {
  float tol;
  float* minima;
  std::int32_t split;
  float mu;
  bool on;
};

inline void scan_start(sweep_scan& s, std::int32_t at, float dv) {
  s.mu = std::fabs(dv);
  s.minima[at] = s.mu;
}

inline void scan_step(sweep_scan& s, std::int32_t e_index, float ev, float dv, std::int32_t next, std::int32_t prev) {
  if (!s.on) return;
  const float ae = std::fabs(ev);
  if (ae <= s.tol * s.mu) {
    s.split = e_index;
    s.on = false;
    return;
  }
  s.mu = std::fabs(dv) * (s.mu / (s.mu + ae));
  s.minima[next] = ::orvik::detail::min_of(s.minima[prev], s.mu);
}

// The sweep on d[0..count] and e[0..count-1]. Downwards the chase runs from
// the top and the rotations come in the order rotate_columns applies them
// forwards; upwards from the bottom, stored for a backward application.
// shift 0: Demmel-Kahan's zero-shift sweep, which keeps the relative
// accuracy of tiny values; otherwise the shifted implicit QR sweep.
// The scan's split (-1 for none) is returned.
inline std::int32_t bidiagonal_sweep_body(float* d, float* e, std::int32_t count, float shift, bool downwards,
                                          float* lc, float* ls, float* rc, float* rs, float tol,
                                          float* minima) noexcept {
  const std::int32_t n = count;
  sweep_scan scan{tol, minima, -1, 0.0f, true};
  // Downwards d(i) and e(i-1) are final after step i; upwards d(i) and e(i).
  const auto scanned_down = [&](std::int32_t i) {
    if (i == 0) {
      scan_start(scan, 0, d[0]);
    } else {
      scan_step(scan, i - 1, e[i - 1], d[i], i, i - 1);
    }
  };
  const auto scanned_up = [&](std::int32_t i) {
    if (i == n) {
      scan_start(scan, n, d[n]);
    } else {
      scan_step(scan, i, e[i], d[i], i, i + 1);
    }
  };
  if (shift == 0.0f) {
    float cs = 1.0f;
    float oldcs = 1.0f;
    float oldsn = 0.0f;
    if (downwards) {
      for (std::int32_t i = 0; i < n; ++i) {
        const sweep_rotation a = sweep_rotate_onto(d[i] * cs, e[i]);
        cs = a.c;
        if (i > 0) e[i - 1] = oldsn * a.r;
        const sweep_rotation b = sweep_rotate_onto(oldcs * a.r, d[i + 1] * a.s);
        oldcs = b.c;
        oldsn = b.s;
        d[i] = b.r;
        rc[i] = a.c;
        rs[i] = a.s;
        lc[i] = b.c;
        ls[i] = b.s;
        scanned_down(i);
      }
      const float h = d[n] * cs;
      d[n] = h * oldcs;
      e[n - 1] = h * oldsn;
      scanned_down(n);
    } else {
      for (std::int32_t i = n; i > 0; --i) {
        const sweep_rotation a = sweep_rotate_onto(d[i] * cs, e[i - 1]);
        cs = a.c;
        if (i < n) e[i] = oldsn * a.r;
        const sweep_rotation b = sweep_rotate_onto(oldcs * a.r, d[i - 1] * a.s);
        oldcs = b.c;
        oldsn = b.s;
        d[i] = b.r;
        lc[i - 1] = a.c;
        ls[i - 1] = -a.s;
        rc[i - 1] = b.c;
        rs[i - 1] = -b.s;
        scanned_up(i);
      }
      const float h = d[0] * cs;
      d[0] = h * oldcs;
      e[0] = h * oldsn;
      scanned_up(0);
    }
    return scan.split;
  }
  if (downwards) {
    float f = (std::fabs(d[0]) - shift) * (std::copysign(1.0f, d[0]) + shift / d[0]);
    float g = e[0];
    for (std::int32_t i = 0; i < n; ++i) {
      const sweep_rotation a = sweep_rotate_onto(f, g);
      if (i > 0) e[i - 1] = a.r;
      f = sweep_x(a.c, a.s, d[i], e[i]);
      e[i] = sweep_y(a.c, a.s, d[i], e[i]);
      g = a.s * d[i + 1];
      d[i + 1] = a.c * d[i + 1];
      const sweep_rotation b = sweep_rotate_onto(f, g);
      d[i] = b.r;
      f = sweep_x(b.c, b.s, e[i], d[i + 1]);
      d[i + 1] = sweep_y(b.c, b.s, e[i], d[i + 1]);
      if (i < n - 1) {
        g = b.s * e[i + 1];
        e[i + 1] = b.c * e[i + 1];
      }
      rc[i] = a.c;
      rs[i] = a.s;
      lc[i] = b.c;
      ls[i] = b.s;
      scanned_down(i);
    }
    e[n - 1] = f;
    scanned_down(n);
  } else {
    float f = (std::fabs(d[n]) - shift) * (std::copysign(1.0f, d[n]) + shift / d[n]);
    float g = e[n - 1];
    for (std::int32_t i = n; i > 0; --i) {
      const sweep_rotation a = sweep_rotate_onto(f, g);
      if (i < n) e[i] = a.r;
      f = sweep_x(a.c, a.s, d[i], e[i - 1]);
      e[i - 1] = sweep_y(a.c, a.s, d[i], e[i - 1]);
      g = a.s * d[i - 1];
      d[i - 1] = a.c * d[i - 1];
      const sweep_rotation b = sweep_rotate_onto(f, g);
      d[i] = b.r;
      f = sweep_x(b.c, b.s, e[i - 1], d[i - 1]);
      d[i - 1] = sweep_y(b.c, b.s, e[i - 1], d[i - 1]);
      if (i > 1) {
        g = b.s * e[i - 2];
        e[i - 2] = b.c * e[i - 2];
      }
      lc[i - 1] = a.c;
      ls[i - 1] = -a.s;
      rc[i - 1] = b.c;
      rs[i - 1] = -b.s;
      scanned_up(i);
    }
    e[0] = f;
    scanned_up(0);
  }
  return scan.split;
}

#endif  // ORVIK_KERNELS_BIDIAGONAL_SWEEP_INL_H_
