#pragma once
// The single dispatch point of the hot loops. Every loop that dominates an
// operation's time lives in this folder, on plain column-major arrays, in two
// versions: the reference loop, which is the contract, and an optimised one
// that must return exactly its bits. The table in use is chosen once per
// process: the reference table when the library was configured with
// ORVIK_REFERENCE_KERNELS or when the environment variable ORVIK_KERNELS is
// "reference" at the first call, the optimised table otherwise. The
// optimised table is built with Google Highway for the best instruction set
// with a fused multiply-add the processor has (AVX-512, AVX2 with FMA, NEON;
// ORVIK_KERNELS=avx2 caps it at AVX2); without one, or without Highway at
// build time, it is the reference table.
//
// Every output element receives its terms in increasing order, one fused
// multiply-add each, from its defined start; a version may visit the
// outputs in any order but never reorders, splits or widens one output's
// terms.
//
// Which file holds what:
//   kernels.hpp             this table and the calls through it
//   dispatch.cpp            the choice of table, once per process
//   reference.cpp           every reference loop (with columns.hpp, the
//                           single-rounding column loops that are their own
//                           reference, and bidiagonal_sweep-inl.h, shared
//                           with the fast table)
// The fast kernels, written once with Highway's portable vectors and compiled
// for every target with a fused multiply-add instruction:
//   targets-inl.h           the targets compiled and the per-target helpers
//                           (vector types, the fused step, masked tails,
//                           working storage), included first by each file
//   through_double-inl.h    the careful steps: single-precision steps on
//                           double lanes where tiny values appear
//   fast_kernels-inl.h      every fast kernel declared, per target
//   fast_table.cpp          the per-target tables and the choice of target
//   product_blocked.cpp     gemm and prod_mat: packing, blocking, micro-tile
//   product_small.cpp       unpacked products: one column, or short ones
//   matrix_vector.cpp       prod_vec and prod_vec_left
//   vector_steps.cpp        dot, subtract_products, subtract_scaled,
//                           subtract_rounded_outer, deflate_rank_one
//   lu_cholesky.cpp         the blocked LU and Cholesky
//   gauss_jordan.cpp        Gauss-Jordan's inverse and determinant, the rank
//   rotations.cpp           rotate_columns and the bidiagonal sweep
//   eigen_updates.cpp       the eigenvalue routines' updates

#include "threads/thread_pool.hpp"

#include <cstddef>
#include <cstdint>

namespace orvik::kernels {

// Where each output of a general product starts and which way its terms go:
// from 0.0 adding (assign), from its current value adding (add) or
// subtracting (subtract).
enum class gemm_mode : std::uint8_t { assign, add, subtract };

// A read-only matrix operand: element (i, j), 0-based, is
// data[i * row_stride + j * col_stride], so a transpose or a block of a
// larger matrix needs no copy.
struct operand {
  const float* data;
  std::ptrdiff_t row_stride;
  std::ptrdiff_t col_stride;
};

struct kernel_table {
  const char* name;

  // c (m x n) = a (m x p) * b (p x n); c(i, j) sums a(i, k) * b(k, j) for
  // k = 1 to p from 0.0.
  void (*prod_mat)(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p, std::int32_t n) noexcept;

  // y (rows) = a (rows x cols) * x (cols); y(i) sums a(i, j) * x(j) for
  // j = 1 to cols from 0.0 (m_prod_vec1 and m_prod_vec_c alike).
  void (*prod_vec)(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept;

  // y (cols) = x (rows) as a row vector times a (rows x cols, leading
  // dimension lda >= rows); y(i) sums x(j) * a(j, i) for j = 1 to rows
  // from 0.0.
  void (*prod_vec_left)(const float* x, const float* a, std::ptrdiff_t lda, float* y, std::int32_t rows,
                        std::int32_t cols) noexcept;

  // The fused running sum of x(i) * y(i) for i = 1 to n from s. One chain
  // of dependent steps: no version can reorder it.
  float (*dot)(float s, const float* x, const float* y, std::int32_t n) noexcept;

  // s - x[0]*y[0] - x[xs]*y[ys] - ... over `count` terms, in increasing order.
  float (*subtract_products)(float s, const float* x, std::ptrdiff_t x_stride, const float* y, std::ptrdiff_t y_stride,
                             std::int32_t count) noexcept;

  // y[t*ys] = y[t*ys] - f*x[t*xs] for t = 0 .. count-1.
  void (*subtract_scaled)(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                          std::int32_t count) noexcept;

  // Gram-Schmidt's projections: y(:, t) = y(:, t) - c(t) * x for t < count
  // (columns ld apart), each product rounded, then the difference: separate
  // roundings, never a fused step.
  void (*subtract_rounded_outer)(float* y, std::ptrdiff_t ld, const float* c, const float* x, std::int32_t n,
                                 std::int32_t count) noexcept;

  // The deflation's rank-one correction of b (n x n, column-major):
  // b(k, j) = b(k, j) - factor * (v(k) * v(j)), the inner product rounded
  // first and the update one fused step.
  void (*deflate_rank_one)(float* b, std::int32_t n, float factor, const float* v) noexcept;

  // c (m x n, column-major, leading dimension ldc) receives a (m x k) times
  // b (k x n): c(i, j) = fma(+/-a(i, l), b(l, j), c(i, j)) for l = 0 .. k-1
  // in increasing order, from 0.0 (assign) or from c(i, j) (add, subtract).
  void (*gemm)(std::int32_t m, std::int32_t n, std::int32_t k, operand a, operand b, float* c, std::ptrdiff_t ldc,
               gemm_mode mode) noexcept;

  // The compact Doolittle LU of a (rows x cols, column-major) in place:
  // a(i, j) = a(i, j) - sum of a(i, l) * a(l, j) for l < min(i, j), one
  // fused step each in increasing l, then divided by a(j, j) when j < i.
  // Pivots are not tested.
  void (*lu)(float* a, std::int32_t rows, std::int32_t cols) noexcept;

  // The outer-product Cholesky of the lower triangle of w (n x n) in place:
  // the factor is left in the lower triangle; the upper one is scratch.
  // False when a pivot is not greater than eps (a NaN pivot included); the
  // first pivot is tested before its square root too.
  bool (*cholesky)(float* w, std::int32_t n, float eps) noexcept;

  // Gauss-Jordan with row pivoting on t (n x n), applied to x (n x n) as
  // well: x becomes the inverse. False when the largest candidate pivot of
  // a column has magnitude <= eps. t is scratch afterwards.
  bool (*gauss_jordan_inverse)(float* t, float* x, std::int32_t n, float eps) noexcept;

  // The determinant by the same elimination: the sign of each exchange and
  // each pivot as d / (1 / pivot); 0.0 as soon as a pivot is <= eps.
  float (*gauss_jordan_det)(float* t, std::int32_t n, float eps) noexcept;

  // The number of pivots (magnitude > eps) forward elimination finds in t
  // (rows x cols); the pivot row moves on only when a column yields one.
  std::int32_t (*gauss_jordan_rank)(float* t, std::int32_t rows, std::int32_t cols, float eps) noexcept;

  // A chain of plane rotations on the columns of a (rows x count+1, leading
  // dimension ld): rotation t takes columns x = t and y = t + 1 to
  // x' = fma(c[t], x, s[t] * y) and y' = fma(c[t], y, -(s[t] * x)), each
  // product rounded before its fused step. Forward applies t = 0 .. count-1
  // in turn, backward t = count-1 .. 0. Every element takes the same steps
  // whatever the order of the rows.
  void (*rotate_columns)(float* a, std::ptrdiff_t ld, std::int32_t rows, std::int32_t count, const float* c,
                         const float* s, bool backward) noexcept;

  // The eigenvalue routines' updates.
  //
  // The two-sided reflector update of a symmetric a (m x m, leading
  // dimension lda, both triangles stored): a(r, c) -= w(r) v(c) + v(r) w(c)
  // as two fused steps, the product of the lower element's (w, v) pair
  // first, so that a stays exactly symmetric: on and below the diagonal
  // a = fma(-v(r), w(c), fma(-w(r), v(c), a)); above it
  // a = fma(-w(r), v(c), fma(-v(r), w(c), a)).
  void (*symmetric_rank_two)(float* a, std::ptrdiff_t lda, std::int32_t m, const float* v, const float* w) noexcept;

  // Plane rotations of adjacent columns of z (rows x (count + 1), leading
  // dimension ldz): rotation j, with c(j) and s(j), takes columns j and
  // j + 1 to lo = fma(s, hi, c lo) and hi = fma(-s, lo, c hi) (products
  // c lo and c hi rounded first), for j = 0 .. count-1 (forward) or
  // count-1 .. 0 (backward).
  void (*rotate_eigenvectors)(float* z, std::ptrdiff_t ldz, std::int32_t rows, std::int32_t count, const float* c,
                              const float* s, bool forward) noexcept;

  // A reflector of order nr (2 or 3), I - t1 (1, v2, v3)(1, v2, v3)^T with
  // (t1, t2, t3) = t1 (1, v2, v3), from the right to nr adjacent columns of
  // x (rows rows, leading dimension ld), row by row:
  // s = fma(v3, x3, fma(v2, x2, x1)), then xk = fma(-s, tk, xk);
  // f = {v2, v3, t1, t2, t3} (v3 and t3 unused when nr is 2).
  void (*reflect_columns)(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t nr, const float* f) noexcept;

  // The same reflector from the left to nr adjacent rows of x, over `cols`
  // columns ld apart, column by column.
  void (*reflect_rows)(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t nr, const float* f) noexcept;

  // `count` reflectors of order 3 in turn, reflector t (factors f[5t ..
  // 5t+4], as above) to rows t .. t+2 of x over `cols` columns: each column
  // receives them in order, as `count` calls of reflect_rows give.
  void (*reflect_rows_sequence)(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t count,
                                const float* f) noexcept;

  // Likewise from the right, reflector t to columns t .. t+2 of x over
  // `rows` rows, as `count` calls of reflect_columns give.
  void (*reflect_columns_sequence)(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t count,
                                   const float* f) noexcept;

  // One implicit QR sweep on the upper bidiagonal block d[0..count],
  // e[0..count-1] (bidiagonal_sweep-inl.h): zero-shift when shift is 0,
  // shifted otherwise, chasing downwards or upwards. The rotations for the
  // left and the right factor go to (lc, ls) and (rc, rs), count each, ready
  // for rotate_columns (forward when downwards, backward otherwise). With
  // it, the next convergence scan on the swept block from the end the chase
  // starts at (bidiagonal_sweep_body's sweep_scan, tolerance tol): the
  // running minima of its estimates in minima (count + 1 entries, by d
  // index), and its split returned (-1 for none).
  std::int32_t (*bidiagonal_sweep)(float* d, float* e, std::int32_t count, float shift, bool downwards, float* lc,
                                   float* ls, float* rc, float* rs, float tol, float* minima) noexcept;

  // The implicit QL / QR iteration on the symmetric tridiagonal d[0..n-1],
  // e[0..n-2] (e holds n entries; tridiagonal_ql-inl.h), at most max_sweeps
  // sweeps, each sweep's rotations applied to the columns of z (n x n) when
  // z is not null; cw and sw are n entries of scratch. False when the limit
  // ends it first.
  bool (*tridiagonal_ql)(float* d, float* e, std::int32_t n, float* z, float* cw, float* sw,
                         std::int32_t max_sweeps) noexcept;

  // y (n x n, column-major, leading dimension n), the identity on entry
  // and v finite (a fast version may pass over rows no reflector has
  // reached yet, whose zeros it leaves as they are), receives the reflectors
  // k = count-1 .. 0 in turn, each skipped where tau(k) is 0; reflector k
  // acts on rows and columns k+1 .. n-1: for each such row r,
  // p = the fused chain from 0 of y(r, c) u(c, k) over c = k+1 .. n-1 in
  // order, then y(r, c) = fma(-t(c), p, y(r, c)) with t(c) = tau(k) u(c, k)
  // rounded. u(k+1, k) is 1 and u(c, k) for c > k+1 is v(c, k), v n x n
  // column-major (a reduction's vectors, stored below its subdiagonal).
  void (*accumulate_reflectors)(float* y, std::int32_t n, const float* v, const float* tau,
                                std::int32_t count) noexcept;
};

const kernel_table& reference_kernels() noexcept;
// The fastest table this processor runs: the Highway-built kernels of the
// best instruction set with a fused multiply-add, or the reference table
// where there is none (or the library was built without Highway).
const kernel_table& optimised_kernels() noexcept;
#if defined(ORVIK_HAVE_HIGHWAY)
// The fused kernels of the best target the processor runs, or null.
const kernel_table* fused_kernels() noexcept;
#endif
// The table every operation calls through.
const kernel_table& active_kernels() noexcept;

// The products on the library's threads (split_outputs.cpp): the output is
// cut into tiles on a grid fixed by the shape, each tile one call of the
// kernel on its block, so the bits are those of one call on the whole at
// every thread count. Small products are one call on the calling thread.
using gemm_kernel = decltype(kernel_table::gemm);
void split_gemm(gemm_kernel kernel, std::int32_t m, std::int32_t n, std::int32_t k, operand a, operand b, float* c,
                std::ptrdiff_t ldc, gemm_mode mode) noexcept;
void split_prod_mat(const kernel_table& table, const float* a, const float* b, float* c, std::int32_t m, std::int32_t p,
                    std::int32_t n) noexcept;
void split_prod_vec(const kernel_table& table, const float* a, const float* x, float* y, std::int32_t rows,
                    std::int32_t cols) noexcept;
void split_prod_vec_left(const kernel_table& table, const float* x, const float* a, std::ptrdiff_t lda, float* y,
                         std::int32_t rows, std::int32_t cols) noexcept;

// Column blocks for the factorizations' updates, whose columns depend on
// their own values alone: fn(j0, j1) for blocks of [0, cols) on the
// library's threads, each a multiple of `granule` wide (the last one
// excepted), the width fixed by cols and `work` (the fused steps of all the
// columns) alone; one call fn(0, cols) on the calling thread when the work
// is small.
std::int32_t column_block_width(std::int32_t cols, std::int64_t work, std::int32_t granule) noexcept;
template <class F>
void split_columns(std::int32_t cols, std::int64_t work, std::int32_t granule, F&& fn) noexcept {
  const std::int32_t width = column_block_width(cols, work, granule);
  if (width == 0) {
    fn(std::int32_t{0}, cols);
    return;
  }
  threads::parallel_for((cols + width - 1) / width, [&](std::int32_t s) noexcept {
    const std::int32_t j0 = s * width;
    fn(j0, cols - j0 < width ? cols : j0 + width);
  });
}

namespace testing {
// Every split product in tiles of edge x edge (stretches of edge for the
// matrix-vector products, and column blocks of edge for the factorizations)
// whenever more than one thread is allowed, however small it is; 0 restores
// the grids above.
void set_tile_edge(std::int32_t edge) noexcept;
}  // namespace testing

inline void prod_mat(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p,
                     std::int32_t n) noexcept {
  split_prod_mat(active_kernels(), a, b, c, m, p, n);
}
inline void prod_vec(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept {
  split_prod_vec(active_kernels(), a, x, y, rows, cols);
}
inline void prod_vec_left(const float* x, const float* a, std::ptrdiff_t lda, float* y, std::int32_t rows,
                          std::int32_t cols) noexcept {
  split_prod_vec_left(active_kernels(), x, a, lda, y, rows, cols);
}
inline void prod_vec_left(const float* x, const float* a, float* y, std::int32_t rows, std::int32_t cols) noexcept {
  prod_vec_left(x, a, rows, y, rows, cols);
}
inline float dot(const float* x, const float* y, std::int32_t n) noexcept {
  return active_kernels().dot(0.0f, x, y, n);
}
inline float dot(float s, const float* x, const float* y, std::int32_t n) noexcept {
  return active_kernels().dot(s, x, y, n);
}
inline float subtract_products(float s, const float* x, std::ptrdiff_t x_stride, const float* y,
                               std::ptrdiff_t y_stride, std::int32_t count) noexcept {
  return active_kernels().subtract_products(s, x, x_stride, y, y_stride, count);
}
inline void subtract_scaled(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                            std::int32_t count) noexcept {
  active_kernels().subtract_scaled(y, y_stride, f, x, x_stride, count);
}
inline void subtract_rounded_outer(float* y, std::ptrdiff_t ld, const float* c, const float* x, std::int32_t n,
                                   std::int32_t count) noexcept {
  active_kernels().subtract_rounded_outer(y, ld, c, x, n, count);
}
inline void deflate_rank_one(float* b, std::int32_t n, float factor, const float* v) noexcept {
  active_kernels().deflate_rank_one(b, n, factor, v);
}
inline void gemm(std::int32_t m, std::int32_t n, std::int32_t k, operand a, operand b, float* c, std::ptrdiff_t ldc,
                 gemm_mode mode) noexcept {
  split_gemm(active_kernels().gemm, m, n, k, a, b, c, ldc, mode);
}
inline void lu(float* a, std::int32_t rows, std::int32_t cols) noexcept { active_kernels().lu(a, rows, cols); }
inline bool cholesky(float* w, std::int32_t n, float eps) noexcept { return active_kernels().cholesky(w, n, eps); }
inline bool gauss_jordan_inverse(float* t, float* x, std::int32_t n, float eps) noexcept {
  return active_kernels().gauss_jordan_inverse(t, x, n, eps);
}
inline float gauss_jordan_det(float* t, std::int32_t n, float eps) noexcept {
  return active_kernels().gauss_jordan_det(t, n, eps);
}
inline std::int32_t gauss_jordan_rank(float* t, std::int32_t rows, std::int32_t cols, float eps) noexcept {
  return active_kernels().gauss_jordan_rank(t, rows, cols, eps);
}
inline void symmetric_rank_two(float* a, std::ptrdiff_t lda, std::int32_t m, const float* v, const float* w) noexcept {
  active_kernels().symmetric_rank_two(a, lda, m, v, w);
}
inline void rotate_eigenvectors(float* z, std::ptrdiff_t ldz, std::int32_t rows, std::int32_t count, const float* c,
                                const float* s, bool forward) noexcept {
  active_kernels().rotate_eigenvectors(z, ldz, rows, count, c, s, forward);
}
inline void reflect_columns(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t nr, const float* f) noexcept {
  active_kernels().reflect_columns(x, ld, rows, nr, f);
}
inline void reflect_rows(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t nr, const float* f) noexcept {
  active_kernels().reflect_rows(x, ld, cols, nr, f);
}
inline void reflect_rows_sequence(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t count,
                                  const float* f) noexcept {
  active_kernels().reflect_rows_sequence(x, ld, cols, count, f);
}
inline void reflect_columns_sequence(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t count,
                                     const float* f) noexcept {
  active_kernels().reflect_columns_sequence(x, ld, rows, count, f);
}

inline void rotate_columns(float* a, std::ptrdiff_t ld, std::int32_t rows, std::int32_t count, const float* c,
                           const float* s, bool backward) noexcept {
  active_kernels().rotate_columns(a, ld, rows, count, c, s, backward);
}

inline std::int32_t bidiagonal_sweep(float* d, float* e, std::int32_t count, float shift, bool downwards, float* lc,
                                     float* ls, float* rc, float* rs, float tol, float* minima) noexcept {
  return active_kernels().bidiagonal_sweep(d, e, count, shift, downwards, lc, ls, rc, rs, tol, minima);
}
inline bool tridiagonal_ql(float* d, float* e, std::int32_t n, float* z, float* cw, float* sw,
                           std::int32_t max_sweeps) noexcept {
  return active_kernels().tridiagonal_ql(d, e, n, z, cw, sw, max_sweeps);
}
inline void accumulate_reflectors(float* y, std::int32_t n, const float* v, const float* tau,
                                  std::int32_t count) noexcept {
  active_kernels().accumulate_reflectors(y, n, v, tau, count);
}

}  // namespace orvik::kernels
