// Properties on seeded random matrices of several sizes and shapes: P*A = L*U,
// L*L^T = A, A*inv(A) = I, the determinant against U's diagonal, and the
// spectral norm against reference LAPACK's largest singular value.

#include "support/generators.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <cmath>
#include <vector>

#if ORVIK_HAVE_LAPACK
extern "C" void sgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, float* a, const int* lda,
                        float* s, float* u, const int* ldu, float* vt, const int* ldvt, float* work, const int* lwork,
                        int* info, std::size_t jobu_len, std::size_t jobvt_len);
#endif

namespace orvik {
namespace {

using f1::element;
using f1::max_abs;

const double unit = std::ldexp(1.0, -24);

double max_abs_diff(const std::vector<double>& x, const t_matrix& y) {
  double r = 0.0;
  for (std::size_t t = 0; t < x.size(); ++t) r = std::fmax(r, std::fabs(x[t] - y.elements[t]));
  return r;
}

TEST(F1Properties, LuReproducesTheReorderedMatrix) {
  const std::int32_t shapes[][2] = {{1, 1}, {2, 2}, {3, 3}, {5, 5}, {8, 8}, {12, 12}, {4, 7}, {7, 4}};
  unsigned seed = 1;
  for (const auto& shape : shapes) {
    for (bool permute : {false, true}) {
      const std::int32_t r = shape[0];
      const std::int32_t c = shape[1];
      // Dominant rows keep elimination without a pivot search tame.
      t_matrix a = r == c ? f1::dominant_matrix(r, seed) : f1::random_matrix(r, c, seed, 1.0f, 2.0f);
      if (r != c)
        for (std::int32_t i = 1; i <= std::min(r, c); ++i) a.elements[(i - 1) * r + (i - 1)] += 4.0f * c;
      ++seed;
      const t_lu lu = m_decomplu(a, permute);
      const t_matrix pa = permute ? m_prod_mat(lu.P, a) : a;
      const double residual = max_abs_diff(f1::product_double(lu.L, lu.U), pa);
      // Dominant rows without reordering: the bound in terms of A itself. The
      // reordering sorts rows by their last column and can undo the
      // dominance, so there the classic bound in terms of |L|*|U| applies.
      double scale = max_abs(a);
      if (permute) {
        t_matrix abs_l = lu.L;
        t_matrix abs_u = lu.U;
        for (float& v : abs_l.elements) v = std::fabs(v);
        for (float& v : abs_u.elements) v = std::fabs(v);
        for (double v : f1::product_double(abs_l, abs_u)) scale = std::fmax(scale, v);
      }
      EXPECT_LE(residual, 4.0 * std::max(r, c) * unit * scale) << r << "x" << c << " permute " << permute;
      // Exact zeros outside the triangles and a unit diagonal.
      for (std::int32_t i = 1; i <= lu.L.rows; ++i)
        for (std::int32_t j = i; j <= lu.L.cols; ++j) EXPECT_EQ(element(lu.L, i, j), i == j ? 1.0f : 0.0f);
      for (std::int32_t i = 2; i <= lu.U.rows; ++i)
        for (std::int32_t j = 1; j < i; ++j) EXPECT_EQ(element(lu.U, i, j), 0.0f);
    }
  }
}

TEST(F1Properties, CholeskyFactorOfSymmetricPositiveDefinite) {
  unsigned seed = 30;
  for (std::int32_t n : {1, 2, 3, 6, 10, 16}) {
    const t_matrix a = f1::spd_matrix(n, seed++);
    const t_m_and_p r = m_decompcholesky(a);
    const t_matrix lt = m_trans(r.M);
    EXPECT_LE(max_abs_diff(f1::product_double(r.M, lt), a), 4.0 * n * unit * max_abs(a)) << n;
    for (std::int32_t i = 1; i <= n; ++i)
      for (std::int32_t j = i + 1; j <= n; ++j) EXPECT_EQ(element(r.M, i, j), 0.0f);
  }
}

TEST(F1Properties, InverseTimesMatrixIsIdentity) {
  unsigned seed = 60;
  for (std::int32_t n : {1, 2, 4, 7, 12}) {
    for (bool dominant : {true, false}) {
      const t_matrix a = dominant ? f1::dominant_matrix(n, seed) : f1::random_matrix(n, n, seed);
      ++seed;
      const t_matrix x = m_inverse_gaussj(a);
      const std::vector<double> ax = f1::product_double(a, x);
      double residual = 0.0;
      for (std::int32_t i = 1; i <= n; ++i)
        for (std::int32_t j = 1; j <= n; ++j)
          residual = std::fmax(residual, std::fabs(ax[(j - 1) * n + (i - 1)] - (i == j ? 1.0 : 0.0)));
      EXPECT_LE(residual, 8.0 * n * unit * max_abs(a) * max_abs(x) * n) << n << " dominant " << dominant;
    }
  }
}

TEST(F1Properties, DeterminantAgainstTheDiagonalOfU) {
  unsigned seed = 90;
  for (std::int32_t n : {1, 2, 3, 5, 8}) {
    for (bool permute : {false, true}) {
      const t_matrix a = f1::dominant_matrix(n, seed++);
      const t_lu lu = m_decomplu(a, permute);
      double product = lu.nb_permut % 2 == 0 ? 1.0 : -1.0;
      for (std::int32_t i = 1; i <= n; ++i) product *= element(lu.U, i, i);
      const double det = m_det_gaussj(a);
      EXPECT_NEAR(det / product, 1.0, 8.0 * n * unit) << n << " permute " << permute;
      // The sign of the permutation matrix is (-1)^nb_permut.
      if (permute) {
        EXPECT_EQ(m_det_gaussj(lu.P), lu.nb_permut % 2 == 0 ? 1.0f : -1.0f);
      }
    }
  }
}

TEST(F1Properties, SpectralNormAgainstLapack) {
#if ORVIK_HAVE_LAPACK
  const std::int32_t shapes[][2] = {{1, 1}, {2, 2}, {3, 5}, {5, 3}, {6, 6}, {9, 4}};
  unsigned seed = 120;
  for (const auto& shape : shapes) {
    const int m = shape[0];
    const int n = shape[1];
    // Norm below 1: the residual tolerance is absolute (eps), and above 1 a
    // one-ulp wobble of A^T*A*x may never meet it (see the 301 case).
    t_matrix a = f1::random_matrix(m, n, seed++);
    for (float& v : a.elements) v = v / static_cast<float>(std::max(m, n));
    std::vector<float> copy = a.elements;
    std::vector<float> s(static_cast<std::size_t>(std::min(m, n)));
    const int lwork = 64 * (m + n);
    std::vector<float> work(static_cast<std::size_t>(lwork));
    int info = 0;
    const int one = 1;
    float dummy = 0.0f;
    sgesvd_("N", "N", &m, &n, copy.data(), &m, s.data(), &dummy, &one, &dummy, &one, work.data(), &lwork, &info, 1, 1);
    ASSERT_EQ(info, 0);
    const float norm = m_norm(a, 2);
    EXPECT_NEAR(norm, s[0], 16.0 * std::max(m, n) * unit * s[0]) << m << "x" << n;
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

}  // namespace
}  // namespace orvik
