// The pseudo-inverse front end and its two methods: through the singular
// value decomposition, and through a rank-revealing Cholesky factor of the
// Gram matrix.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "matrix/decompositions/decompositions_internal.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

namespace orvik {
namespace {

// The Gram matrix of G (G^T G, or G G^T for a wide G, the transposed case)
// with G^T, and the threshold below which a pivot is given up: tol, or
// 1.0e-9 times the smallest |diagonal entry| of the Gram matrix.
struct gram_step {
  t_matrix gt;
  t_matrix b;
  float threshold = 0.0f;
  bool transposed = false;
};

gram_step gram_and_threshold(const t_matrix& g, std::optional<float> tol) {
  gram_step s;
  s.transposed = g.rows < g.cols;
  s.gt = m_trans(g);
  s.b = s.transposed ? m_prod_mat(g, s.gt) : m_prod_mat(s.gt, g);
  if (tol) {
    s.threshold = *tol;
  } else {
    float smallest = std::numeric_limits<float>::max();
    for (std::int32_t i = 1; i <= s.b.rows; ++i) {
      const float d = std::fabs(detail::at(s.b, i, i));
      if (d < smallest) smallest = d;
    }
    s.threshold = 1.0e-9f * smallest;
  }
  return s;
}

// The Cholesky factor of b, column by column, giving up every column whose
// pivot is not above the threshold: L (k x k) holds the kept columns first;
// the count of kept columns is returned.
//
// The columns are formed in place in L, with the rounding of the blocks the
// step is written with: the correction L(j..k, 1..r-1) L(j, 1..r-1)^T is a
// product from 0.0 (one fused step per term), then subtracted from B's
// column and rounded; the remembered bounds and sizes are those the last
// extraction and temporary leave.
std::int32_t dropping_cholesky(const t_matrix& b, float threshold, t_matrix& l) {
  const std::int32_t k = b.rows;
  m_init(l, k, k);
  const auto ld = static_cast<std::ptrdiff_t>(k);
  std::vector<float> correction = detail::work_buffer(k, "m_pseudoinv_chol::allocate error");
  std::int32_t r = 0;
  for (std::int32_t j = 1; j <= k; ++j) {
    ++r;
    const std::int32_t count = k - j + 1;
    const float* b_column = b.elements.data() + static_cast<std::ptrdiff_t>(j - 1) * ld + (j - 1);
    float* l_column = &detail::at(l, j, r);
    if (r == 1) {
      std::copy_n(b_column, count, l_column);
      detail::m_remember_extract_bounds(j, k, j, j);
      detail::m_remember_init_sizes(count, 1);
    } else {
      const float* l_block = &detail::at(l, j, 1);
      kernels::gemm(count, 1, r - 1, {l_block, 1, ld}, {l_block, ld, 0}, correction.data(), count,
                    kernels::gemm_mode::assign);
      for (std::int32_t i = 0; i < count; ++i) l_column[i] = b_column[i] - correction[static_cast<std::size_t>(i)];
      // B's column, the block, the row, its transpose, the product and the
      // difference: the last extraction is the row, the last result a column.
      detail::m_remember_extract_bounds(j, j, 1, r - 1);
      detail::m_remember_init_sizes(count, 1);
    }
    if (detail::at(l, j, r) > threshold) {
      detail::at(l, j, r) = std::sqrt(detail::at(l, j, r));
      if (j < k) {
        detail::m_remember_extract_bounds(j + 1, k, r, r);
        detail::m_remember_init_sizes(k - j, 1);
        const float pivot = detail::at(l, j, r);
        // A pivot above a negative threshold can be a zero root.
        if (pivot == 0.0f) detail::m_fail("m_div_scalar::can not divide by zero", 101);
        for (std::int32_t i = 1; i < count; ++i) l_column[i] = l_column[i] / pivot;
      }
    } else {
      // The column is given up; the next j writes its rows j+1 ... k again.
      --r;
    }
  }
  return r;
}

// The pseudo-inverse from the r kept columns K of L: K (K^T K)^-2 K^T G^T,
// or G^T K (K^T K)^-2 K^T in the transposed case.
t_matrix assemble(const t_matrix& g, gram_step& gram, const t_matrix& l, std::int32_t r) {
  const std::int32_t m = g.rows;
  const std::int32_t n = g.cols;
  m_destruct(gram.b);
  t_matrix y;
  if (r == 0) {
    // Nothing of the factor is kept (a zero matrix, for one): the
    // pseudo-inverse is then the zero matrix of the transposed shape.
    m_init(y, n, m);
    return y;
  }
  const t_matrix kept = m_extract(l, 1, l.rows, 1, r);
  const t_matrix kept_t = m_trans(kept);
  const t_matrix kk = m_prod_mat(kept_t, kept);
  std::optional<t_matrix> inverse = detail::try_inverse_gaussj(kk);
  // The kept columns make K^T K non-singular, but its pivots can still fall
  // below the absolute eps of Gauss-Jordan (small or graded data): the SVD
  // then gives the pseudo-inverse instead of a stop. The thin U of
  // Gram-Schmidt serves only a square G, so a rectangular one goes through
  // Householder.
  if (!inverse) return m_pseudoinv_svd(g, std::nullopt, std::nullopt, m == n ? "gsro" : "ho");
  const t_matrix nn = m_prod_mat(*inverse, *inverse);
  if (gram.transposed) {
    const t_matrix gl = m_prod_mat(gram.gt, kept);
    const t_matrix gln = m_prod_mat(gl, nn);
    y = m_prod_mat(gln, kept_t);
  } else {
    const t_matrix ln = m_prod_mat(kept, nn);
    const t_matrix lnl = m_prod_mat(ln, kept_t);
    y = m_prod_mat(lnl, gram.gt);
  }
  return y;
}

}  // namespace

t_matrix m_pinv(const t_matrix& a, std::optional<float> svd_tol, std::optional<float> chol_tol,
                std::optional<std::int32_t> svd_maxiter, std::optional<std::string_view> qr_method,
                std::optional<float> qr_tol, std::optional<std::string_view> method) {
  if (detail::method_is(method, "svd")) return m_pseudoinv_svd(a, svd_tol, svd_maxiter, qr_method, qr_tol);
  return m_pseudoinv_chol(a, chol_tol);
}

t_matrix m_pseudoinv_svd(const t_matrix& a, std::optional<float> tol, std::optional<std::int32_t> maxiter,
                         std::optional<std::string_view> method, std::optional<float> qr_tol) {
  const float eps = math_machine_eps();
  t_svd f = m_decompsvd(a, tol, maxiter, method, qr_tol, std::nullopt);
  for (std::int32_t i = 1; i <= std::min(a.rows, a.cols); ++i) {
    float& x = detail::at(f.S, i, i);
    // A value below eps is dropped, not inverted.
    x = x >= eps ? 1.0f / x : 0.0f;
  }
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  t_matrix y;
  if (f.U.cols != m) {
    // The thin U of Gram-Schmidt (a matrix that is not square): S^+ takes
    // the shape that fits U's columns, n x cols(U), with the inverted values
    // on its diagonal, so that V S^+ U^T is defined.
    t_matrix sp;
    m_init(sp, n, f.U.cols);
    for (std::int32_t i = 1; i <= std::min({m, n, f.U.cols}); ++i) detail::at(sp, i, i) = detail::at(f.S, i, i);
    const t_matrix vs = m_prod_mat(f.V, sp);
    const t_matrix ut = m_trans(f.U);
    y = m_prod_mat(vs, ut);
  } else {
    // V S^T and then (V S^T) U^T, the transposes read in place.
    std::vector<float> vs = detail::work_buffer(static_cast<std::int64_t>(n) * m, "m_pseudoinv_svd::allocate error");
    kernels::gemm(n, m, n, {f.V.elements.data(), 1, n}, {f.S.elements.data(), m, 1}, vs.data(), n,
                  kernels::gemm_mode::assign);
    m_init(y, n, f.U.rows);
    kernels::gemm(n, f.U.rows, m, {vs.data(), 1, n}, {f.U.elements.data(), f.U.rows, 1}, y.elements.data(), n,
                  kernels::gemm_mode::assign);
  }
  m_destruct_t_svd(f);
  return y;
}

namespace {

// The Frobenius norm, the squares summed in double in storage order.
double frobenius(const float* x, std::size_t count) {
  double s = 0.0;
  for (std::size_t k = 0; k < count; ++k) s += static_cast<double>(x[k]) * static_cast<double>(x[k]);
  return std::sqrt(s);
}

// Whether x keeps the first Penrose condition to 2^-10 of |A|_F: |A X A - A|_F
// <= 2^-10 |A|_F. Beyond that the result has lost most of single
// precision's digits (a NaN or an infinity fails too). Nothing is
// remembered.
bool penrose_holds(const t_matrix& a, const t_matrix& x) {
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  if (m == 0 || n == 0) return true;
  std::vector<float> ax = detail::work_buffer(static_cast<std::int64_t>(m) * m, "m_pseudoinv_chol::allocate error");
  std::vector<float> axa = detail::checked_copy(a.elements, "m_pseudoinv_chol::allocate error");
  kernels::gemm(m, m, n, {a.elements.data(), 1, m}, {x.elements.data(), 1, n}, ax.data(), m,
                kernels::gemm_mode::assign);
  // A - (A X) A, whose norm is that of A X A - A.
  kernels::gemm(m, n, m, {ax.data(), 1, m}, {a.elements.data(), 1, m}, axa.data(), m, kernels::gemm_mode::subtract);
  const double residual = frobenius(axa.data(), axa.size());
  const double scale = frobenius(a.elements.data(), a.elements.size());
  return residual <= 0x1p-10 * scale;
}

// The power of two nearest below 1 / |x|_2 for the `count` values x at
// `stride` apart (1 for a zero vector), so that scaling by it is exact.
float scale_of(const float* x, std::ptrdiff_t stride, std::int32_t count) {
  double s = 0.0;
  for (std::int32_t t = 0; t < count; ++t) s += static_cast<double>(x[t * stride]) * static_cast<double>(x[t * stride]);
  if (s == 0.0) return 1.0f;
  int e = 0;
  (void)std::frexp(std::sqrt(s), &e);
  return std::ldexp(1.0f, -e);
}

// V S^+ U^T from the fast SVD of `a`, the values at or below max(m, n) * eps
// * s1 dropped, into y (n x m, made by the caller). False, with y
// untouched, when `full_rank_only` and a value is dropped.
bool svd_pseudo_inverse(const t_matrix& a, bool full_rank_only, float* y) {
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  t_svd f = m_svd(a);
  const std::int32_t k = f.S.rows;
  const float largest = k > 0 ? detail::at(f.S, 1, 1) : 0.0f;
  const float cut = static_cast<float>(std::max(m, n)) * math_machine_eps() * largest;
  if (full_rank_only && (k == 0 || !(detail::at(f.S, k, k) > cut))) return false;
  // W = V S^+, column by column.
  std::vector<float> w = detail::checked_copy(f.V.elements, "m_pseudoinv_chol::allocate error");
  for (std::int32_t i = 1; i <= k; ++i) {
    const float s = detail::at(f.S, i, i);
    const float inverse = s > cut ? 1.0f / s : 0.0f;
    float* column = w.data() + static_cast<std::ptrdiff_t>(i - 1) * n;
    for (std::int32_t t = 0; t < n; ++t) column[t] = column[t] * inverse;
  }
  kernels::gemm(n, m, k, {w.data(), 1, n}, {f.U.elements.data(), m, 1}, y, n, kernels::gemm_mode::assign);
  return true;
}

// The pseudo-inverse through the fast SVD, made last (n x m) as the
// Cholesky result is. The columns of a tall A (the rows of a wide one) are
// first scaled by powers of two to about unit length: where the scaled
// matrix has full rank, D (A D)^+ is A^+ and it is not hurt by columns of
// very different lengths (a polynomial design matrix); otherwise A^+ comes
// from A itself.
t_matrix pseudo_inverse_from_svd(const t_matrix& a) {
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  const bool tall = m >= n;
  const std::int32_t lines = tall ? n : m;
  std::vector<float> scale = detail::work_buffer(lines, "m_pseudoinv_chol::allocate error");
  t_matrix scaled = detail::checked_copy(a, "m_pseudoinv_chol::allocate error");
  for (std::int32_t t = 1; t <= lines; ++t) {
    const float* first = a.elements.data() + (tall ? static_cast<std::ptrdiff_t>(t - 1) * m : t - 1);
    const float d = tall ? scale_of(first, 1, m) : scale_of(first, m, n);
    scale[static_cast<std::size_t>(t - 1)] = d;
    for (std::int32_t o = 1; o <= (tall ? m : n); ++o) {
      float& v = tall ? detail::at(scaled, o, t) : detail::at(scaled, t, o);
      v = v * d;
    }
  }
  std::vector<float> y = detail::work_buffer(static_cast<std::int64_t>(n) * m, "m_pseudoinv_chol::allocate error");
  if (svd_pseudo_inverse(scaled, true, y.data())) {
    // (A D)^+ = D^-1 A^+ for a tall A, A^+ D^-1 for a wide one: undo D.
    for (std::int32_t j = 1; j <= m; ++j) {
      for (std::int32_t i = 1; i <= n; ++i) {
        float& v = y[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i - 1)];
        v = v * scale[static_cast<std::size_t>((tall ? i : j) - 1)];
      }
    }
  } else {
    svd_pseudo_inverse(a, false, y.data());
  }
  t_matrix result;
  m_init(result, n, m);
  std::copy(y.begin(), y.end(), result.elements.begin());
  return result;
}

}  // namespace

t_matrix m_pseudoinv_chol(const t_matrix& g, std::optional<float> tol) {
  gram_step gram = gram_and_threshold(g, tol);
  t_matrix l;
  const std::int32_t r = dropping_cholesky(gram.b, gram.threshold, l);
  t_matrix x = assemble(g, gram, l, r);
  // Forming the inverse of the Gram matrix squares a condition number that
  // is already squared: where that has cost the result its accuracy, the
  // pseudo-inverse comes from the singular value decomposition instead.
  // A tolerance the caller gives truncates on purpose, and a matrix with an
  // entry that is not finite has no sound pseudo-inverse: both keep theirs.
  if (!tol && detail::all_finite(g) && !penrose_holds(g, x)) return pseudo_inverse_from_svd(g);
  return x;
}

}  // namespace orvik
