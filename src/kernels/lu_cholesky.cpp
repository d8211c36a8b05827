// The blocked LU and Cholesky factorizations.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/lu_cholesky.cpp"
#include "kernels/targets-inl.h"  // IWYU pragma: keep

#include "kernels/fast_kernels-inl.h"
#include "kernels/kernels.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

#if ORVIK_FAST_TARGET

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
// c - a b (m x n, k terms) on the threads, split by tiles, or on the
// calling thread when it is one block of a split already.
void subtract_product(bool split, ptrdiff_t m, ptrdiff_t n, ptrdiff_t k, operand a, operand b, float* c,
                      ptrdiff_t ldc) {
  const auto mi = static_cast<std::int32_t>(m);
  const auto ni = static_cast<std::int32_t>(n);
  const auto ki = static_cast<std::int32_t>(k);
  if (split) {
    split_gemm(gemm_impl, mi, ni, ki, a, b, c, ldc, gemm_mode::subtract);
  } else {
    gemm_impl(mi, ni, ki, a, b, c, ldc, gemm_mode::subtract);
  }
}

// The column blocks the threads take: whole register tiles of the product
// (6 or 12 columns) and whole leaves.
constexpr std::int32_t kColumnGranule = 48;

// The halving point of [c0, c1): a multiple of kLuLeaf from c0, so that the
// leaves are full ones but for the last.
ptrdiff_t halving(ptrdiff_t c0, ptrdiff_t c1) { return c0 + std::max(kLuLeaf, (c1 - c0) / 2 / kLuLeaf * kLuLeaf); }

// The leaf of lower_solve with the rows in registers (R vectors, at most
// kLuLeaf rows, x86's masked loads for a partial vector), G columns side by
// side: step k takes row k's value from its lane to every lane, and the
// rows below it alone take the fused step x(i, j) - l(i, k) x(k, j).
template <size_t R>
void lower_solve_in_registers(float* a, ptrdiff_t lda, ptrdiff_t k0, ptrdiff_t k1, ptrdiff_t j0, ptrdiff_t j1) {
  constexpr size_t G = 4;
  const D d;
  const hn::RebindToSigned<D> di;
  const size_t N = hn::Lanes(d);
  const auto h = static_cast<size_t>(k1 - k0);
  const auto rows = [&](size_t q) { return std::min(N, h - std::min(h, q * N)); };
  const auto load = [&](const float* p, size_t q) {
    return rows(q) == N ? hn::LoadU(d, p + q * N) : hn::MaskedLoad(hn::FirstN(d, rows(q)), d, p + q * N);
  };
  // The unit lower triangle's columns on these rows.
  V l[kLuLeaf][R];
  for (size_t k = 0; k + 1 < h; ++k) {
    for (size_t q = 0; q < R; ++q) l[k][q] = load(a + k0 + (static_cast<ptrdiff_t>(k) + k0) * lda, q);
  }
  const auto columns = [&](ptrdiff_t j, auto width) {
    constexpr size_t W = decltype(width)::value;
    V x[W][R];
    for (size_t g = 0; g < W; ++g) {
      for (size_t q = 0; q < R; ++q) x[g][q] = load(a + k0 + (j + static_cast<ptrdiff_t>(g)) * lda, q);
    }
    for (size_t k = 0; k + 1 < h; ++k) {
      const size_t qk = k / N;
      const auto lane = hn::IndicesFromVec(d, hn::Set(di, static_cast<std::int32_t>(k % N)));
      for (size_t g = 0; g < W; ++g) {
        const V xk = hn::TableLookupLanes(R == 1 || qk == 0 ? x[g][0] : x[g][R - 1], lane);
        for (size_t q = 0; q < R; ++q) {
          if (q < qk) continue;
          const auto below = hn::RebindMask(
              d, hn::Gt(hn::Iota(di, static_cast<std::int32_t>(q * N)), hn::Set(di, static_cast<std::int32_t>(k))));
          x[g][q] = hn::IfThenElse(below, hn::NegMulAdd(l[k][q], xk, x[g][q]), x[g][q]);
        }
      }
    }
    for (size_t g = 0; g < W; ++g) {
      float* p = a + k0 + (j + static_cast<ptrdiff_t>(g)) * lda;
      for (size_t q = 0; q < R; ++q) {
        if (rows(q) == N) {
          hn::StoreU(x[g][q], d, p + q * N);
        } else if (rows(q) > 0) {
          hn::BlendedStore(x[g][q], hn::FirstN(d, rows(q)), d, p + q * N);
        }
      }
    }
  };
  ptrdiff_t j = j0;
  for (; j + static_cast<ptrdiff_t>(G) <= j1; j += G) columns(j, std::integral_constant<size_t, G>{});
  for (; j < j1; ++j) columns(j, std::integral_constant<size_t, 1>{});
}

// Rows [k0, k1) of columns [j0, j1) receive the terms of the unit lower
// triangle on those rows: x(i, j) -= l(i, k) * x(k, j) for k0 <= k < i in
// increasing order. Halving the rows (at a multiple of kLuLeaf) turns most
// of the work into gemm.
void lower_solve(float* a, ptrdiff_t lda, ptrdiff_t k0, ptrdiff_t k1, ptrdiff_t j0, ptrdiff_t j1) {
  if (j0 >= j1 || k1 - k0 < 2) return;
  auto at = [&](ptrdiff_t i, ptrdiff_t j) -> float& { return a[i + j * lda]; };
  if (k1 - k0 <= kLuLeaf) {
    const auto N = static_cast<ptrdiff_t>(hn::Lanes(D()));
    if (kMaskedTails && k1 - k0 <= N) {
      lower_solve_in_registers<1>(a, lda, k0, k1, j0, j1);
      return;
    }
    if (kMaskedTails && k1 - k0 <= 2 * N) {
      lower_solve_in_registers<2>(a, lda, k0, k1, j0, j1);
      return;
    }
    for (ptrdiff_t j = j0; j < j1; ++j) {
      for (ptrdiff_t k = k0; k < k1 - 1; ++k) {
        axpy<true>(&at(k + 1, j), at(k, j), &at(k + 1, k), static_cast<size_t>(k1 - k - 1));
      }
    }
    return;
  }
  const ptrdiff_t km = halving(k0, k1);
  lower_solve(a, lda, k0, km, j0, j1);
  gemm_impl(static_cast<std::int32_t>(k1 - km), static_cast<std::int32_t>(j1 - j0), static_cast<std::int32_t>(km - k0),
            operand{&at(km, k0), 1, lda}, operand{&at(k0, j0), 1, lda}, &at(km, j0), lda, gemm_mode::subtract);
  lower_solve(a, lda, km, k1, j0, j1);
}

// Rows [i0, i1) of a leaf of kLuLeaf columns from c0 whose diagonal block is
// done, the columns held in registers a vector of rows at a time: column k
// is divided by diag[k] once it has all its terms, then every later column
// j takes the fused step x(i, j) - x(i, k) coef[k][j], k in increasing
// order: the steps of the column-by-column leaf, element by element.
void leaf_rows_in_registers(float* a, ptrdiff_t lda, ptrdiff_t i0, ptrdiff_t i1, ptrdiff_t c0, const float* diag,
                            const float (*coef)[kLuLeaf]) {
  constexpr auto W = static_cast<size_t>(kLuLeaf);
  const D d;
  const auto N = static_cast<ptrdiff_t>(hn::Lanes(d));
  float* base = a + c0 * lda;
  const auto rows = [&](ptrdiff_t i, auto partial) {
    constexpr bool kPartial = decltype(partial)::value;
    const auto live = hn::FirstN(d, static_cast<size_t>(i1 - i));
    V x[W];
#pragma GCC unroll 16
    for (size_t j = 0; j < W; ++j) {
      const float* p = base + i + static_cast<ptrdiff_t>(j) * lda;
      x[j] = kPartial ? hn::MaskedLoad(live, d, p) : hn::LoadU(d, p);
    }
#pragma GCC unroll 16
    for (size_t k = 0; k < W; ++k) {
      x[k] = hn::Div(x[k], hn::Set(d, diag[k]));
#pragma GCC unroll 16
      for (size_t j = k + 1; j < W; ++j) x[j] = hn::NegMulAdd(x[k], hn::Set(d, coef[k][j]), x[j]);
    }
#pragma GCC unroll 16
    for (size_t j = 0; j < W; ++j) {
      float* p = base + i + static_cast<ptrdiff_t>(j) * lda;
      if (kPartial) {
        hn::BlendedStore(x[j], live, d, p);
      } else {
        hn::StoreU(x[j], d, p);
      }
    }
  };
  ptrdiff_t i = i0;
  for (; i + N <= i1; i += N) rows(i, std::false_type{});
  if (i == i1) return;
  if (kMaskedTails) {
    rows(i, std::true_type{});
    return;
  }
  for (; i < i1; ++i) {
    float x[W];
    for (size_t j = 0; j < W; ++j) x[j] = base[i + static_cast<ptrdiff_t>(j) * lda];
    for (size_t k = 0; k < W; ++k) {
      x[k] = x[k] / diag[k];
      for (size_t j = k + 1; j < W; ++j) x[j] = std::fma(-x[k], coef[k][j], x[j]);
    }
    for (size_t j = 0; j < W; ++j) base[i + static_cast<ptrdiff_t>(j) * lda] = x[j];
  }
}

// Columns [c0, c1) of the compact LU (c1 <= min(rows, cols)), every term
// from the columns left of c0 already received: the left half, the rows of
// U it owns in the right half, the rest of the right half through gemm,
// then the right half.
void lu_columns(float* a, ptrdiff_t r, ptrdiff_t c0, ptrdiff_t c1) {
  const ptrdiff_t lda = r;
  auto at = [&](ptrdiff_t i, ptrdiff_t j) -> float& { return a[i + j * lda]; };
  if (c1 - c0 <= kLuLeaf) {
    // A full leaf: its diagonal block column by column, the rows below in
    // registers.
    const bool full = c1 - c0 == kLuLeaf;
    const ptrdiff_t last = full ? c1 : r;
    for (ptrdiff_t k = c0; k < c1; ++k) {
      float* col_k = &at(0, k);
      divide(col_k + k + 1, col_k[k], static_cast<size_t>(last - k - 1));
      for (ptrdiff_t j = k + 1; j < c1; ++j) {
        axpy<true>(&at(k + 1, j), at(k, j), col_k + k + 1, static_cast<size_t>(last - k - 1));
      }
    }
    if (full && last < r) {
      float diag[kLuLeaf];
      float coef[kLuLeaf][kLuLeaf];
      for (ptrdiff_t k = 0; k < kLuLeaf; ++k) {
        diag[k] = at(c0 + k, c0 + k);
        for (ptrdiff_t j = k + 1; j < kLuLeaf; ++j) coef[k][j] = at(c0 + k, c0 + j);
      }
      leaf_rows_in_registers(a, lda, c1, r, c0, diag, coef);
    }
    return;
  }
  const ptrdiff_t cm = halving(c0, c1);
  lu_columns(a, r, c0, cm);
  // Each column of the right half takes its terms from its own values and
  // the left half's alone, so column blocks go to the threads whole; a half
  // too narrow for blocks has its product split by rows instead.
  const ptrdiff_t w = cm - c0;
  const auto cols = static_cast<std::int32_t>(c1 - cm);
  const std::int64_t work = (r - c0) * (c1 - cm) * w;
  const bool by_rows = column_block_width(cols, work, kColumnGranule) == 0;
  split_columns(cols, work, kColumnGranule, [&](std::int32_t j0, std::int32_t j1) {
    lower_solve(a, lda, c0, cm, cm + j0, cm + j1);
    subtract_product(by_rows, r - cm, j1 - j0, w, operand{&at(cm, c0), 1, lda}, operand{&at(c0, cm + j0), 1, lda},
                     &at(cm, cm + j0), lda);
  });
  lu_columns(a, r, cm, c1);
}

void lu(float* a, std::int32_t rows, std::int32_t cols) noexcept {
  const ptrdiff_t mn = std::min(rows, cols);
  lu_columns(a, rows, 0, mn);
  // A wide matrix: the columns right of the square part are rows of U only.
  split_columns(cols - static_cast<std::int32_t>(mn), mn * mn * (cols - mn) / 2, kColumnGranule,
                [&](std::int32_t j0, std::int32_t j1) { lower_solve(a, rows, 0, mn, mn + j0, mn + j1); });
}

// Columns [c0, c1) of the lower triangle, every term from the columns left
// of c0 already received; halves as for LU. The trailing columns take the
// left half's terms in column blocks, so that little of the scratch part
// above the diagonal is computed.
bool cholesky_columns(float* w, ptrdiff_t n, ptrdiff_t c0, ptrdiff_t c1, float eps) {
  const ptrdiff_t lda = n;
  auto at = [&](ptrdiff_t i, ptrdiff_t j) -> float& { return w[i + j * lda]; };
  if (c1 - c0 <= kLuLeaf) {
    // As for LU: a full leaf's rows below its diagonal block in registers.
    const bool full = c1 - c0 == kLuLeaf;
    const ptrdiff_t last = full ? c1 : n;
    for (ptrdiff_t k = c0; k < c1; ++k) {
      if (!(at(k, k) > eps)) return false;
      const float dk = std::sqrt(at(k, k));
      at(k, k) = dk;
      divide(&at(k + 1, k), dk, static_cast<size_t>(last - k - 1));
      for (ptrdiff_t j = k + 1; j < c1; ++j) axpy<true>(&at(j, j), at(j, k), &at(j, k), static_cast<size_t>(last - j));
    }
    if (full && last < n) {
      float diag[kLuLeaf];
      float coef[kLuLeaf][kLuLeaf];
      for (ptrdiff_t k = 0; k < kLuLeaf; ++k) {
        diag[k] = at(c0 + k, c0 + k);
        for (ptrdiff_t j = k + 1; j < kLuLeaf; ++j) coef[k][j] = at(c0 + j, c0 + k);
      }
      leaf_rows_in_registers(w, lda, c1, n, c0, diag, coef);
    }
    return true;
  }
  const ptrdiff_t cm = halving(c0, c1);
  if (!cholesky_columns(w, n, c0, cm, eps)) return false;
  // The column blocks are independent: they go to the threads whole; too
  // few of them, and each product is split by rows instead.
  const auto cols = static_cast<std::int32_t>(c1 - cm);
  const std::int64_t work = (n - cm) * (c1 - cm) * (cm - c0);
  const bool by_rows = column_block_width(cols, work, kPanel) == 0;
  split_columns(cols, work, kPanel, [&](std::int32_t b0, std::int32_t b1) {
    for (ptrdiff_t j0 = cm + b0; j0 < cm + b1; j0 += kPanel) {
      const ptrdiff_t jw = std::min<ptrdiff_t>(kPanel, cm + b1 - j0);
      subtract_product(by_rows, n - j0, jw, cm - c0, operand{&at(j0, c0), 1, lda}, operand{&at(j0, c0), lda, 1},
                       &at(j0, j0), lda);
    }
  });
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

#endif  // ORVIK_FAST_TARGET

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();
