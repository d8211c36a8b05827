// Gauss-Jordan with row pivoting (the inverse and the determinant) and the
// rank's forward elimination, which share the pivot search.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/gauss_jordan.cpp"
#include "kernels/targets-inl.h"  // IWYU pragma: keep

#include "kernels/fast_kernels-inl.h"
#include "kernels/kernels.hpp"
#include "kernels/through_double-inl.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

#if ORVIK_FAST_TARGET

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

// The panel's own rows of w columns (y: row k0 of the first, leading
// dimension ld), R vectors of rows per column held in registers, four
// columns side by side: at step kk the row's value times recips[kk] is the
// step's multiplier s, kept in rk (kb per column); every row takes the fused
// step y - s f(:, kk) (f: the panel's multipliers on these rows, ld
// apart), and row kk becomes s. x86 only (masked loads for a partial
// vector).
template <size_t R>
void panel_rows_in_registers(float* y, ptrdiff_t ld, ptrdiff_t kb, ptrdiff_t w, const float* f, const float* recips,
                             float* rk) {
  constexpr ptrdiff_t G = 4;
  const D d;
  const hn::RebindToSigned<D> di;
  const size_t N = hn::Lanes(d);
  const auto rows = [&](size_t q) { return std::min(N, static_cast<size_t>(kb) - std::min<size_t>(kb, q * N)); };
  const auto load = [&](const float* p, size_t q) {
    return rows(q) == N ? hn::LoadU(d, p + q * N) : hn::MaskedLoad(hn::FirstN(d, rows(q)), d, p + q * N);
  };
  const auto store = [&](V v, float* p, size_t q) {
    if (rows(q) == N) {
      hn::StoreU(v, d, p + q * N);
    } else if (rows(q) > 0) {
      hn::BlendedStore(v, hn::FirstN(d, rows(q)), d, p + q * N);
    }
  };
  V fv[kJordanPanel][R];
  for (ptrdiff_t kk = 0; kk < kb; ++kk) {
    for (size_t q = 0; q < R; ++q) fv[kk][q] = load(f + kk * ld, q);
  }
  const auto columns = [&](ptrdiff_t j, auto width) {
    constexpr size_t W = decltype(width)::value;
    V v[W][R];
    V s_at[W][R];
    for (size_t g = 0; g < W; ++g) {
      for (size_t q = 0; q < R; ++q) {
        v[g][q] = load(y + (j + static_cast<ptrdiff_t>(g)) * ld, q);
        s_at[g][q] = hn::Zero(d);
      }
    }
    for (ptrdiff_t kk = 0; kk < kb; ++kk) {
      const auto qk = static_cast<size_t>(kk) / N;
      const auto lane = static_cast<std::int32_t>(static_cast<size_t>(kk) % N);
      const auto from = hn::IndicesFromVec(d, hn::Set(di, lane));
      const auto here = hn::RebindMask(d, hn::Eq(hn::Iota(di, 0), hn::Set(di, lane)));
      const V r = hn::Set(d, recips[kk]);
      for (size_t g = 0; g < W; ++g) {
        V row = v[g][0];
        for (size_t q = 1; q < R; ++q) row = qk == q ? v[g][q] : row;
        const V sv = hn::Mul(hn::TableLookupLanes(row, from), r);
        for (size_t q = 0; q < R; ++q) {
          v[g][q] = hn::NegMulAdd(fv[kk][q], sv, v[g][q]);
          if (q == qk) {
            v[g][q] = hn::IfThenElse(here, sv, v[g][q]);
            s_at[g][q] = hn::IfThenElse(here, sv, s_at[g][q]);
          }
        }
      }
    }
    for (size_t g = 0; g < W; ++g) {
      const ptrdiff_t jg = j + static_cast<ptrdiff_t>(g);
      for (size_t q = 0; q < R; ++q) {
        store(v[g][q], y + jg * ld, q);
        store(s_at[g][q], rk + jg * kb, q);
      }
    }
  };
  ptrdiff_t j = 0;
  for (; j + G <= w; j += G) columns(j, std::integral_constant<size_t, G>{});
  for (; j < w; ++j) columns(j, std::integral_constant<size_t, 1>{});
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
  // Every deferred column's rows at the panel's steps (t's and x's).
  const buffer rows_at_step(static_cast<size_t>(kJordanPanel) * static_cast<size_t>(kInverse ? 2 * n : n));
  if (!mult.ok() || !rows_at_step.ok()) {
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
    // The deferred columns, [c0, c1) of y (t right of the panel, or x),
    // each column's rows at the panel's steps into rk(:, j).
    auto apply = [&](float* y, ptrdiff_t c0, ptrdiff_t c1, float* rk) {
      HWY_ALIGN float v[kJordanPanel + kMaxMR];
      for (ptrdiff_t j0 = c0; j0 < c1; j0 += kJordanChunk) {
        const ptrdiff_t w = std::min(kJordanChunk, c1 - j0);
        float* yc = y + j0 * ld;
        float* rc = rk + j0 * kb;
        for (ptrdiff_t kk = 0; kk < kb; ++kk) {
          if (pivots[kk] != k0 + kk) swap_rows(yc, ld, w, k0 + kk, pivots[kk]);
        }
        if (kMaskedTails && kb <= static_cast<ptrdiff_t>(2 * N)) {
          panel_rows_in_registers<2>(yc + k0, ld, kb, w, f + k0, recips, rc);
        } else if (kMaskedTails && kb <= static_cast<ptrdiff_t>(4 * N)) {
          panel_rows_in_registers<4>(yc + k0, ld, kb, w, f + k0, recips, rc);
        }
        for (ptrdiff_t j = kMaskedTails && kb <= static_cast<ptrdiff_t>(4 * N) ? w : 0; j < w; ++j) {
          float* col = yc + j * ld + k0;
          std::copy_n(col, kb, v);
          for (ptrdiff_t kk = 0; kk < kb; ++kk) {
            const float s = v[kk] * recips[kk];
            rc[kk + j * kb] = s;
            axpy<true>(v, s, f + kk * ld + k0, static_cast<size_t>(kb));
            v[kk] = s;
          }
          std::copy_n(v, kb, col);
        }
        if (k0 > 0) {
          gemm_impl(static_cast<std::int32_t>(k0), static_cast<std::int32_t>(w), static_cast<std::int32_t>(kb),
                    operand{f, 1, ld}, operand{rc, 1, kb}, yc, ld, gemm_mode::subtract);
        }
        if (k1 < n) {
          gemm_impl(static_cast<std::int32_t>(n - k1), static_cast<std::int32_t>(w), static_cast<std::int32_t>(kb),
                    operand{f + k1, 1, ld}, operand{rc, 1, kb}, yc + k1, ld, gemm_mode::subtract);
        }
      }
    };
    // Every deferred column depends on its own values and the panel's
    // alone: the columns of t right of the panel, then those of x, go to
    // the threads in blocks.
    const ptrdiff_t t_cols = n - k1;
    const ptrdiff_t all_cols = t_cols + (kInverse ? n : 0);
    float* rk = rows_at_step.get();
    split_columns(static_cast<std::int32_t>(all_cols), all_cols * n * kb, 16, [&](std::int32_t b0, std::int32_t b1) {
      if (b0 < t_cols) apply(&tt(0, k1), b0, std::min<ptrdiff_t>(b1, t_cols), rk);
      if (b1 > t_cols) apply(x, std::max<ptrdiff_t>(b0, t_cols) - t_cols, b1 - t_cols, rk + t_cols * kb);
    });
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

#endif  // ORVIK_FAST_TARGET

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
