#pragma once
// Accuracy checks in the style of LAPACK's testing: each measures an error
// in units of n * eps (times the norms that scale it), computed in double,
// so one threshold per family holds for every size. A well-behaved result
// scores a small multiple of one; a wrong one scores in the millions.

#include <orvik/decompositions.hpp>
#include <orvik/matrix.hpp>

#include "support/records.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#if ORVIK_HAVE_LAPACK
extern "C" {
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda, double* s,
             double* u, const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* info,
             std::size_t jobu_len, std::size_t jobvt_len);
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w, double* work,
            const int* lwork, int* info, std::size_t jobz_len, std::size_t uplo_len);
}
#endif

namespace orvik::test {

// The unit roundoff of float32 (LAPACK's slamch('E')).
inline constexpr double eps = 0x1.0p-24;

// ||A - factors|| / (n ||A|| eps), ||A X - I|| / (n ||A|| ||X|| eps).
inline constexpr double residual_threshold = 30.0;
// ||Q^T Q - I|| / (n eps).
inline constexpr double orthogonality_threshold = 30.0;
// |x - reference| / (n |scale| eps): a value against LAPACK in double or
// against another method.
inline constexpr double agreement_threshold = 30.0;

// A column-major matrix of doubles.
struct wide_matrix {
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  std::vector<double> values;

  double operator()(std::int32_t i, std::int32_t j) const {
    return values[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i - 1)];
  }
};

inline wide_matrix widen(const t_matrix& m) {
  return {m.rows, m.cols, std::vector<double>(m.elements.begin(), m.elements.end())};
}

// a * b, exactly enough to serve as an oracle.
inline wide_matrix product(const wide_matrix& a, const wide_matrix& b) {
  wide_matrix r{a.rows, b.cols,
                std::vector<double>(static_cast<std::size_t>(a.rows) * static_cast<std::size_t>(b.cols))};
  for (std::int32_t j = 1; j <= b.cols; ++j)
    for (std::int32_t i = 1; i <= a.rows; ++i) {
      double s = 0.0;
      for (std::int32_t k = 1; k <= a.cols; ++k) s += a(i, k) * b(k, j);
      r.values[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(a.rows) + static_cast<std::size_t>(i - 1)] =
          s;
    }
  return r;
}

inline wide_matrix transpose(const wide_matrix& a) {
  wide_matrix t{a.cols, a.rows, std::vector<double>(a.values.size())};
  for (std::int32_t i = 1; i <= a.rows; ++i)
    for (std::int32_t j = 1; j <= a.cols; ++j)
      t.values[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(a.cols) + static_cast<std::size_t>(j - 1)] =
          a(i, j);
  return t;
}

// The largest column sum of magnitudes.
inline double norm_1(const wide_matrix& a) {
  double worst = 0.0;
  for (std::int32_t j = 1; j <= a.cols; ++j) {
    double s = 0.0;
    for (std::int32_t i = 1; i <= a.rows; ++i) s += std::fabs(a(i, j));
    worst = std::max(worst, s);
  }
  return worst;
}

inline double norm_1(const t_matrix& a) { return norm_1(widen(a)); }

inline wide_matrix minus(const wide_matrix& a, const wide_matrix& b) {
  EXPECT_EQ(a.rows, b.rows);
  EXPECT_EQ(a.cols, b.cols);
  wide_matrix d = a;
  for (std::size_t t = 0; t < d.values.size() && t < b.values.size(); ++t) d.values[t] -= b.values[t];
  return d;
}

// ||A - F|| / (n ||A|| unit), n the larger dimension; `unit` is eps or the
// looser tolerance an iteration was asked to reach.
inline double residual_ratio(const wide_matrix& a, const wide_matrix& f, double unit = eps) {
  const double difference = norm_1(minus(a, f));
  const double scale = norm_1(a);
  const double n = std::max(a.rows, a.cols);
  if (scale <= 0.0) return difference > 0.0 ? 1.0 / unit : 0.0;
  return difference / (n * scale * unit);
}

// The rows of A as the factorization reordered them.
inline wide_matrix reordered(const t_matrix& a, const t_matrix& p) {
  return p.allocated ? product(widen(p), widen(a)) : widen(a);
}

// ||P A - L U|| / (n ||A|| eps).
inline double lu_residual_ratio(const t_matrix& a, const t_lu& lu) {
  return residual_ratio(reordered(a, lu.P), product(widen(lu.L), widen(lu.U)));
}

// ||A - L L^T|| / (n ||A|| eps).
inline double cholesky_residual_ratio(const t_matrix& a, const t_matrix& l) {
  const wide_matrix wl = widen(l);
  return residual_ratio(widen(a), product(wl, transpose(wl)));
}

// ||P A - Q R|| / (n ||A|| eps).
inline double qr_residual_ratio(const t_matrix& a, const t_qr& qr) {
  return residual_ratio(reordered(a, qr.P), product(widen(qr.Q), widen(qr.R)));
}

// ||A - U S V^T|| / (n ||A|| max(eps, tol)): the sweeps stop once the part
// above the diagonal is below tol, and that part is what S leaves out. A thin
// U (Gram-Schmidt, tall input) meets the top square of S.
inline double svd_residual_ratio(const t_matrix& a, const t_svd& f, std::optional<float> tol = std::nullopt) {
  wide_matrix s = widen(f.S);
  if (f.U.cols != f.S.rows) {
    wide_matrix top{f.U.cols, f.S.cols, {}};
    for (std::int32_t j = 1; j <= f.S.cols; ++j)
      for (std::int32_t i = 1; i <= f.U.cols; ++i) top.values.push_back(s(i, j));
    s = top;
  }
  const wide_matrix usvt = product(product(widen(f.U), s), transpose(widen(f.V)));
  return residual_ratio(widen(a), usvt, std::max(eps, static_cast<double>(tol.value_or(0.0f))));
}

// ||Q^T Q - I|| / (n eps), n the larger dimension of Q.
inline double orthogonality_ratio(const t_matrix& q) {
  const wide_matrix wq = widen(q);
  wide_matrix g = product(transpose(wq), wq);
  for (std::int32_t i = 1; i <= g.rows; ++i)
    g.values[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(g.rows) + static_cast<std::size_t>(i - 1)] -=
        1.0;
  return norm_1(g) / (std::max(q.rows, q.cols) * eps);
}

// ||A X - I|| / (n ||A|| ||X|| eps).
inline double inverse_residual_ratio(const t_matrix& a, const t_matrix& x) {
  wide_matrix ax = product(widen(a), widen(x));
  for (std::int32_t i = 1; i <= ax.rows; ++i)
    ax.values[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(ax.rows) + static_cast<std::size_t>(i - 1)] -=
        1.0;
  return norm_1(ax) / (a.rows * norm_1(a) * norm_1(x) * eps);
}

// |x - reference| / (n |scale| eps), where scale is the magnitude the error
// is relative to (the reference itself, or the largest of a set).
inline double agreement_ratio(double x, double reference, double scale, std::int32_t n) {
  return std::fabs(x - reference) / (n * std::fabs(scale) * eps);
}

#if ORVIK_HAVE_LAPACK
// The singular values of A by reference LAPACK in double, largest first.
inline std::vector<double> reference_singular_values(const t_matrix& a) {
  std::vector<double> work_a(a.elements.begin(), a.elements.end());
  const int m = a.rows;
  const int n = a.cols;
  const int one = 1;
  std::vector<double> s(static_cast<std::size_t>(std::min(m, n)));
  double dummy = 0.0;
  const int lwork = 8 * (m + n) + 64;
  std::vector<double> work(static_cast<std::size_t>(lwork));
  int info = 0;
  dgesvd_("N", "N", &m, &n, work_a.data(), &m, s.data(), &dummy, &one, &dummy, &one, work.data(), &lwork, &info, 1, 1);
  EXPECT_EQ(info, 0);
  return s;
}

// The eigenvalues of a symmetric A by reference LAPACK in double, smallest
// first.
inline std::vector<double> reference_symmetric_eigenvalues(const t_matrix& a) {
  std::vector<double> work_a(a.elements.begin(), a.elements.end());
  const int n = a.rows;
  std::vector<double> w(static_cast<std::size_t>(n));
  const int lwork = 8 * n + 64;
  std::vector<double> work(static_cast<std::size_t>(lwork));
  int info = 0;
  dsyev_("N", "U", &n, work_a.data(), &n, w.data(), work.data(), &lwork, &info, 1, 1);
  EXPECT_EQ(info, 0);
  return w;
}
#endif

// The largest |a(i,j) - b(i,j)|, for worked cases whose exact values are
// known only to a few digits.
inline float max_abs_diff(const t_matrix& a, const t_matrix& b) {
  EXPECT_EQ(a.rows, b.rows);
  EXPECT_EQ(a.cols, b.cols);
  if (a.elements.size() != b.elements.size()) return INFINITY;
  float worst = 0.0f;
  for (std::size_t i = 0; i < a.elements.size(); ++i)
    worst = std::fmax(worst, std::fabs(a.elements[i] - b.elements[i]));
  return worst;
}

// The same shape and exactly the same values (0.0 and -0.0 alike).
inline void expect_same_matrix(const t_matrix& m, const t_matrix& expected) {
  ASSERT_TRUE(m.allocated);
  ASSERT_EQ(m.rows, expected.rows);
  ASSERT_EQ(m.cols, expected.cols);
  for (std::int32_t i = 1; i <= m.rows; ++i)
    for (std::int32_t j = 1; j <= m.cols; ++j)
      EXPECT_EQ(element(m, i, j), element(expected, i, j)) << "(" << i << "," << j << ")";
}

inline void expect_same_vector(const t_vector& v, std::initializer_list<float> expected) {
  ASSERT_TRUE(v.allocated);
  ASSERT_EQ(v.size, static_cast<std::int32_t>(expected.size()));
  std::size_t t = 0;
  for (float e : expected) {
    EXPECT_EQ(v.elements[t], e) << t;
    ++t;
  }
}

}  // namespace orvik::test

#define EXPECT_MATRIX_NEAR(a, b, tol) EXPECT_LE(::orvik::test::max_abs_diff((a), (b)), (tol))
